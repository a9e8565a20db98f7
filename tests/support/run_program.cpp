// Child-process plumbing for the end-to-end tests.
#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#ifndef SLIPVEL_BIN
#define SLIPVEL_BIN "build/slipvel"
#endif

pid_t start_slipvel(const std::string& dir, int in, int out, int err, const RunOptions& opt) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  // Moved above the standard numbers first, so that no dup2 overwrites a
  // descriptor still to be moved.
  int from[3] = {in, out, err};
  for (int& fd : from)
    if (fd >= 0 && (fd = fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0) _exit(127);
  for (int k = 0; k < 3; k++)
    if (from[k] < 0 ? close(k) != 0 && errno != EBADF : dup2(from[k], k) < 0) _exit(127);
  // The run holds no other descriptor of this process (a pipe's far end
  // held by it would keep its reader from ever seeing the end).
  close_range(3, ~0u, 0);
  if (chdir(dir.c_str()) != 0) _exit(127);
  std::signal(SIGINT, opt.ignore_sigint ? SIG_IGN : SIG_DFL);
  std::signal(SIGPIPE, SIG_DFL);
  if (opt.file_size >= 0) std::signal(SIGXFSZ, SIG_IGN);
  for (auto [resource, limit] :
       {std::pair{RLIMIT_FSIZE, opt.file_size}, std::pair{RLIMIT_DATA, opt.data}}) {
    rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    if (limit >= 0 && setrlimit(resource, &rl) != 0) _exit(127);
  }
  if (opt.uid >= 0 && (setgid(opt.uid) != 0 || setuid(opt.uid) != 0)) _exit(126);
  if (opt.traced && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(127);
  execl(SLIPVEL_BIN, "slipvel", static_cast<char*>(nullptr));
  _exit(127);
}

RunResult wait_for(pid_t pid, int timeout_s) {
  RunResult r;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (!r.timed_out && std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      r.timed_out = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  r.exited = WIFEXITED(status);
  r.code = r.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  return r;
}

RunResult run_slipvel(const std::string& dir, const RunOptions& opt) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) std::abort();
  // A signal sent after a marker must find the run still at that stage: a
  // one-page pipe holds the program back at most a page beyond what was read.
  if (opt.signal) fcntl(out[0], F_SETPIPE_SZ, 4096);
  pid_t pid = start_slipvel(dir, in[0], out[1], err[1], opt);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  fcntl(in[1], F_SETFL, O_NONBLOCK);

  RunResult r;
  size_t sent = 0;
  bool signalled = opt.signal == 0;
  if (opt.input.empty() && !opt.hold_input) close(in[1]), in[1] = -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(opt.timeout_s);
  while (out[0] >= 0 || err[0] >= 0) {
    bool more = in[1] >= 0 && sent < opt.input.size();
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {more ? in[1] : -1, POLLOUT, 0}};
    poll(fds, 3, 100);
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      r.timed_out = true;
      break;
    }
    for (int k = 0; k < 2; k++) {
      int& fd = k == 0 ? out[0] : err[0];
      if (fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP))) continue;
      char buf[65536];
      ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) {
        (k == 0 ? r.out : r.err).append(buf, n);
      } else {
        close(fd);
        fd = -1;
      }
    }
    if (in[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR))) {
      ssize_t n = write(in[1], opt.input.data() + sent, opt.input.size() - sent);
      if (n > 0) sent += n;
      if (n < 0 || (sent == opt.input.size() && !opt.hold_input)) close(in[1]), in[1] = -1;
    }
    if (!signalled && r.out.find(opt.signal_after) != std::string::npos) {
      kill(pid, opt.signal);
      signalled = true;
    }
  }
  for (int fd : {in[1], out[0], err[0]})
    if (fd >= 0) close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exited = WIFEXITED(status);
  r.code = r.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  return r;
}

TempDir::TempDir() {
  char name[] = "/tmp/slipvel-test-XXXXXX";
  if (!mkdtemp(name)) std::abort();
  path = name;
  chmod(name, 0777);  // an unprivileged run may write here
}

TempDir::~TempDir() { std::filesystem::remove_all(path); }

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string golden(const std::string& name) {
  return read_file(std::string(SLIPVEL_SOURCE_DIR) + "/tests/golden/" + name);
}

std::string example_out_through(const std::string& text) {
  const std::string out = golden("stdout.txt");
  return out.substr(0, out.find('\n', out.find(text)) + 1);
}

std::string TempDir::read(const std::string& name) const { return read_file(file(name)); }

void TempDir::write(const std::string& name, const std::string& text) const {
  std::ofstream(file(name), std::ios::binary) << text;
}

bool TempDir::exists(const std::string& name) const {
  return std::filesystem::exists(file(name));
}

int count_lines(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}
