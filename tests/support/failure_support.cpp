// What the end-to-end fault tests share.
#include "support/failure_support.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

const Reference& reference() {
  static const Reference ref = [] {
    TempDir dir;
    RunResult r = run_slipvel(dir.path, example_answers);
    if (!r.exited || r.code != 0) ADD_FAILURE() << "the example run failed:\n" << r.err;
    Reference x{r.out, {}};
    for (const char* f : output_files) x.files[f] = dir.read(f);
    return x;
  }();
  return ref;
}

// Equality of long texts, reported by the first differing line.
testing::AssertionResult same_text(const std::string& got, const std::string& want) {
  if (got == want) return testing::AssertionSuccess();
  size_t n = std::min(got.size(), want.size());
  size_t at = std::mismatch(got.begin(), got.begin() + n, want.begin()).first - got.begin();
  size_t line = at == 0 ? 0 : got.rfind('\n', at - 1) + 1;
  return testing::AssertionFailure()
         << got.size() << " bytes instead of " << want.size() << ", first difference at byte "
         << at << "\n  got:  \"" << got.substr(line, 100) << "\"\n  want: \""
         << want.substr(line, 100) << "\"";
}

// The named files hold exactly what the example run wrote.
void expect_example_files(const TempDir& dir, const std::vector<std::string>& names) {
  for (const std::string& f : names)
    EXPECT_TRUE(same_text(dir.read(f), reference().files.at(f))) << f;
}

// The failure report: what failed, the channel, the layout, the direction.
std::string report(const std::string& what, const std::string& unit, const std::string& format,
                   const char* direction) {
  std::string s = what + "\napparent state: " + unit + "\n";
  if (!format.empty()) s += "last format: " + format + "\n";
  return s + "lately " + direction + " sequential formatted external IO\n";
}

bool aborted(const RunResult& r) { return !r.timed_out && !r.exited && r.code == SIGABRT; }
bool exited_with(const RunResult& r, int code) {
  return !r.timed_out && r.exited && r.code == code;
}

std::vector<std::string> listing(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A file cut at a record boundary: a prefix of what the complete run wrote,
// ending with a line end (or empty).
void expect_complete_records(const std::string& text, const std::string& whole,
                             const std::string& name) {
  EXPECT_TRUE(starts_with(whole, text)) << name << " is not a prefix of the complete file";
  EXPECT_TRUE(text.empty() || text.back() == '\n') << name << " ends inside a record";
}

bool signal_after_first_write(pid_t pid, const std::string& file, int sig) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return false;
  ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  bool writing = false;  // the call under way writes to the file
  int signal = 0;
  for (;;) {
    if (ptrace(PTRACE_SYSCALL, pid, nullptr, signal) != 0) return false;
    if (waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return false;
    signal = 0;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      signal = WSTOPSIG(status);  // delivered on the next resume
      continue;
    }
    __ptrace_syscall_info info = {};
    ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info);
    if (info.op == PTRACE_SYSCALL_INFO_ENTRY) {
      std::error_code ec;
      writing = info.entry.nr == SYS_write &&
                std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/" +
                                     std::to_string(info.entry.args[0]), ec) == file;
    } else if (info.op == PTRACE_SYSCALL_INFO_EXIT && writing && info.exit.rval > 0) {
      // Sent while the run is stopped, delivered once it runs on untraced.
      kill(pid, sig);
      if (sig != SIGKILL) ptrace(PTRACE_DETACH, pid, nullptr, 0);
      return true;
    }
  }
}

// Standard input from a file (huge inputs need no pipe), standard output
// to `out_path` or collected.
RunResult run_from_file(const TempDir& dir, const std::string& input,
                        const std::string& out_path, const RunOptions& opt) {
  TempDir io;
  io.write("in", input);
  std::string out = out_path.empty() ? io.file("out") : out_path;
  int in_fd = open(io.file("in").c_str(), O_RDONLY | O_CLOEXEC);
  int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int err_fd = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pid_t pid = start_slipvel(dir.path, in_fd, out_fd, err_fd, opt);
  for (int fd : {in_fd, out_fd, err_fd}) close(fd);
  RunResult r = wait_for(pid);
  if (out_path.empty()) r.out = io.read("out");
  r.err = io.read("err");
  return r;
}

void expect_rows(const std::string& text, size_t header, size_t row) {
  size_t at = 0, n = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1, n++)
    ASSERT_EQ(end - at, n == 0 ? header : row) << "record " << n + 1;
  EXPECT_EQ(at, text.size()) << "a partial record at the end";
}

// The run's state as the kernel tells it: 'S' while it waits.
char process_state(pid_t pid) {
  std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  size_t paren = stat.rfind(')');
  return paren == std::string::npos || paren + 2 >= stat.size() ? '?' : stat[paren + 2];
}

// Everything queued in a pipe or FIFO, read without waiting.
std::string drain(int fd) {
  fcntl(fd, F_SETFL, O_NONBLOCK);
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, n);
  return text;
}

int queued(int fd) {
  int n = 0;
  ioctl(fd, FIONREAD, &n);
  return n;
}
