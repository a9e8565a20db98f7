// Child-process plumbing for the end-to-end tests.
#include "support/run_program.h"

#include "sys/child_environment.h"

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
#include <vector>

#ifndef SLIPVEL_BIN
#define SLIPVEL_BIN "build/slipvel"
#endif

pid_t start_program(const Start& s) {
  // Built before the fork: the child only makes system calls.
  std::vector<std::string> args = s.argv, vars = environment_with(s.env);
  std::vector<char*> arg_p = exec_array(args), var_p = exec_array(vars);
  pid_t pid = fork();
  if (pid != 0) {
    if (pid > 0 && s.own_group) setpgid(pid, pid);  // either side may win the race
    return pid;
  }
  if (s.own_group) setpgid(0, 0);
  // Moved above the standard numbers first, so that no dup2 overwrites a
  // descriptor still to be moved.
  int from[3] = {s.in, s.out, s.err};
  for (int& fd : from)
    if (fd >= 0 && (fd = fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0) _exit(127);
  for (int k = 0; k < 3; k++)
    if (from[k] < 0 ? close(k) != 0 && errno != EBADF : dup2(from[k], k) < 0) _exit(127);
  // The program holds no other descriptor of this process (a pipe's far end
  // held by it would keep its reader from ever seeing the end).
  close_range(3, ~0u, 0);
  if (!s.dir.empty() && chdir(s.dir.c_str()) != 0) _exit(127);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD, SIGXFSZ}) std::signal(sig, SIG_DFL);
  if (s.ignore_sigint) std::signal(SIGINT, SIG_IGN);
  sigset_t mask;
  sigemptyset(&mask);
  if (s.block_end_signals)
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&mask, sig);
  sigprocmask(SIG_SETMASK, &mask, nullptr);
  for (auto [resource, limit] : {std::pair{RLIMIT_FSIZE, s.file_size}, std::pair{RLIMIT_DATA, s.data}}) {
    rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    if (limit >= 0 && setrlimit(resource, &rl) != 0) _exit(127);
  }
  if (s.uid >= 0 && (setgid(s.uid) != 0 || setuid(s.uid) != 0)) _exit(126);
  if (s.traced && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(127);
  execve(arg_p[0], arg_p.data(), var_p.data());
  _exit(127);
}

int wait_status(pid_t pid, int timeout_s, bool& timed_out) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
  int status = 0;
  timed_out = false;
  for (pid_t got; (got = waitpid(pid, &status, WNOHANG)) != pid;) {
    if (got < 0 && errno != EINTR) return -1;  // not a child (any more)
    if (!timed_out && std::chrono::steady_clock::now() > deadline) {
      // A program in a group of its own is ended with everything it started.
      if (getpgid(pid) == pid) killpg(pid, SIGKILL);
      kill(pid, SIGKILL);
      timed_out = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return status;
}

pid_t start_slipvel(const std::string& dir, int in, int out, int err, const RunOptions& opt) {
  Start s;
  s.argv = {SLIPVEL_BIN};
  s.dir = dir;
  s.in = in, s.out = out, s.err = err;
  s.ignore_sigint = opt.ignore_sigint;
  s.block_end_signals = opt.block_end_signals;
  s.file_size = opt.file_size;
  s.data = opt.data;
  s.uid = opt.uid;
  s.traced = opt.traced;
  return start_program(s);
}

RunResult wait_for(pid_t pid, int timeout_s) {
  RunResult r;
  int status = wait_status(pid, timeout_s, r.timed_out);
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
  RunResult end = wait_for(pid, 120);
  end.out = std::move(r.out), end.err = std::move(r.err);
  end.timed_out |= r.timed_out;
  return end;
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

pid_t start_command(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const TempDir& scratch) {
  Start s;
  s.argv = argv;
  s.env = env;
  s.own_group = true;
  s.in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  s.out = open(scratch.file("command.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  s.err = open(scratch.file("command.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pid_t pid = s.in < 0 || s.out < 0 || s.err < 0 ? -1 : start_program(s);
  for (int fd : {s.in, s.out, s.err})
    if (fd >= 0) close(fd);
  return pid;
}

Ended finish_command(pid_t pid, const TempDir& scratch, int bound_s) {
  Ended r;
  int status = pid < 0 ? 127 << 8 : wait_status(pid, bound_s, r.timed_out);
  if (WIFEXITED(status)) r.code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  r.out = scratch.read("command.out");
  r.err = scratch.read("command.err");
  return r;
}

Ended run_command(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const TempDir& scratch, int bound_s) {
  return finish_command(start_command(argv, env, scratch), scratch, bound_s);
}

Ended run_shell(const std::string& line, const TempDir& scratch, int bound_s) {
  return run_command({"/bin/sh", "-c", "cd '" + scratch.path + "' && " + line}, {}, scratch, bound_s);
}
