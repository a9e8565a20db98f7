#include "sys/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "sys/child_environment.h"
#include "sys/end_signal.h"
#include "sys/refusal.h"

namespace {

constexpr size_t buffer_size = 1 << 16;

// The first few lines of what the child wrote on standard error, joined.
std::string first_lines(int fd, int lines) {
  std::string text, out;
  char chunk[4096];
  lseek(fd, 0, SEEK_SET);
  ssize_t n;
  while (text.size() < 65536 && (n = read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, n);
  size_t at = 0;
  for (int k = 0; k < lines && at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    out += (out.empty() ? "" : " / ") + line;
    k++;
  }
  return out;
}

}  // namespace

ChildProcess::ChildProcess(ChildCommand command) : name_(command.argv.at(0)) {
  // Writing to a child that has ended must come back as EPIPE, not end this
  // process by SIGPIPE with its temporaries left behind.
  std::signal(SIGPIPE, SIG_IGN);
  char err_name[] = "/tmp/slipvel-fault-stderr-XXXXXX";
  errors_ = mkstemp(err_name);
  if (errors_ < 0) throw Refusal(std::string("cannot create a temporary file: ") + std::strerror(errno), status_failed);
  unlink(err_name);  // only the descriptor is needed: nothing is left behind
  int pipe_fd[2];
  if (pipe2(pipe_fd, O_CLOEXEC) != 0) {
    int err = errno;
    close(errors_);
    throw Refusal(std::string("cannot create a pipe: ") + std::strerror(err), status_failed);
  }
  input_ = pipe_fd[1];

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fd[0], 0);
  posix_spawn_file_actions_adddup2(&actions, errors_, 2);
  int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null >= 0) posix_spawn_file_actions_adddup2(&actions, null, 1);
  if (!command.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, command.folder.c_str());
  // The child starts with the default action of SIGPIPE (ignored here); the
  // end signals' handlers are reset by exec itself.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> args = command.argv, vars = environment_with(command.env);
  std::vector<char*> arg_p = exec_array(args), var_p = exec_array(vars);
  int rc = posix_spawnp(&pid_, args[0].c_str(), &actions, &attr, arg_p.data(), var_p.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(pipe_fd[0]);
  if (null >= 0) close(null);
  if (rc != 0) {
    pid_ = -1;
    if (rc == ENOENT) throw Refusal(name_ + " is not installed (" + command.package + ")", status_failed);
    throw Refusal("cannot run " + name_ + ": " + std::strerror(rc), status_failed);
  }
  buffer_.reserve(buffer_size);
}

ChildProcess::~ChildProcess() {
  if (input_ >= 0) close(input_);
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (errors_ >= 0) close(errors_);
}

void ChildProcess::fail(const std::string& why) {
  std::string said = errors_ >= 0 ? first_lines(errors_, 3) : "";
  throw Refusal(name_ + " " + why + (said.empty() ? "" : ": " + said), status_failed);
}

void ChildProcess::put(std::string_view text) {
  buffer_ += text;
  if (buffer_.size() >= buffer_size) flush();
}

void ChildProcess::flush() {
  size_t done = 0;
  while (done < buffer_.size() && !broken_) {
    ssize_t n = write(input_, buffer_.data() + done, buffer_.size() - done);
    if (n >= 0) {
      done += static_cast<size_t>(n);
    } else if (errno == EINTR) {
      check_end_signal();
    } else if (errno == EPIPE) {
      broken_ = true;  // it ended early: its own report says why
      finish();
    } else {
      fail(std::string("cannot be given its input: ") + std::strerror(errno));
    }
  }
  buffer_.clear();
}

void ChildProcess::finish() {
  if (input_ >= 0) {
    if (!broken_) flush();
    close(input_);
    input_ = -1;
  }
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) fail(std::string("cannot be waited for: ") + std::strerror(errno));
    check_end_signal();
  }
  pid_ = -1;
  check_end_signal();
  if (WIFSIGNALED(status)) fail("was ended by signal " + std::to_string(WTERMSIG(status)));
  if (WEXITSTATUS(status) != 0) fail("failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")");
  if (broken_) fail("stopped reading its input");
}

void require_program(const std::string& program, const std::string& package) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t at = 0; at <= dirs.size();) {
    size_t end = dirs.find(':', at);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(at, end - at);
    std::string file = (dir.empty() ? "." : dir) + "/" + program;
    if (access(file.c_str(), X_OK) == 0) return;
    at = end + 1;
  }
  throw Refusal(program + " is not installed (" + package + ")", status_failed);
}

void run_child(ChildCommand command) {
  ChildProcess child(std::move(command));
  child.finish();
}
