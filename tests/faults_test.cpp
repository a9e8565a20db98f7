// Faults from outside, end to end: bad answers, damaged or missing files,
// permissions, full disks, signals, hostile input sizes and random answers.
// Every run must end with the complete result or with its exact failure
// report, and no file may hold a partial record or lose a complete one.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "records/channel.h"
#include "records/report.h"
#include "records/channel_table.h"
#include "run_program.h"
#include "slip/stages.h"
#include "windows/windows.h"

#ifndef SLIPVEL_BIN
#define SLIPVEL_BIN "build/slipvel"
#endif

using namespace std::string_literals;

namespace {

const char* const output_files[] = {"slip_t.csv", "slip_a.csv", "slip_vel-5triangle.csv",
                                    "parameter.csv"};

// What a complete run on the example answers prints and writes.
struct Reference {
  std::string out;
  std::map<std::string, std::string> files;
};

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
void expect_example_files(const TempDir& dir,
                          const std::vector<std::string>& names = {std::begin(output_files),
                                                                   std::end(output_files)}) {
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

const char* const malformed = ": incomprehensible list input";
const std::string file_unit = "unit 10 named ";
const std::string slip_a_row = R"((f8.4,",",3(e15.5,",")))";

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

// Limits of the process: files (SIGXFSZ ignored, so that a write beyond
// the limit fails with EFBIG) and data (heap and private mappings).
struct Limits {
  long file_size = -1;
  long data = -1;
  bool traced = false;  // stopped at its start for this process to trace
};

// Runs the program with standard input, output and error on the given
// descriptors.
pid_t spawn(const TempDir& dir, int in, int out, int err, Limits limits = {}) {
  pid_t pid = fork();
  if (pid == 0) {
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
    if (chdir(dir.path.c_str()) != 0) _exit(127);
    std::signal(SIGINT, SIG_DFL);
    if (limits.file_size >= 0) std::signal(SIGXFSZ, SIG_IGN);
    for (auto [resource, limit] : {std::pair{RLIMIT_FSIZE, limits.file_size},
                                   std::pair{RLIMIT_DATA, limits.data}}) {
      rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
      if (limit >= 0 && setrlimit(resource, &rl) != 0) _exit(127);
    }
    if (limits.traced && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(127);
    execl(SLIPVEL_BIN, "slipvel", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// Follows a traced run from its start, system call by system call, until
// its first write to `file` has returned, and kills it there. False if the
// run ended before.
bool kill_after_first_write(pid_t pid, const std::string& file) {
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
      kill(pid, SIGKILL);
      return true;
    }
  }
}

// Waits for the run, killing it after `timeout_s`.
RunResult wait_for(pid_t pid, int timeout_s = 120) {
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

// Standard input from a file (huge inputs need no pipe), standard output
// to `out_path` or collected.
RunResult run_from_file(const TempDir& dir, const std::string& input,
                        const std::string& out_path = "", Limits limits = {}) {
  TempDir io;
  io.write("in", input);
  std::string out = out_path.empty() ? io.file("out") : out_path;
  int in_fd = open(io.file("in").c_str(), O_RDONLY | O_CLOEXEC);
  int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int err_fd = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pid_t pid = spawn(dir, in_fd, out_fd, err_fd, limits);
  for (int fd : {in_fd, out_fd, err_fd}) close(fd);
  RunResult r = wait_for(pid);
  if (out_path.empty()) r.out = io.read("out");
  r.err = io.read("err");
  return r;
}

// ---------------------------------------------------------------------------
// Answers that cannot be read: every failure of the reader, at each prompt,
// ends the run before any file exists, with the prompts shown so far.

struct InputFailure {
  const char* why;
  std::string input;
  std::string first_line;
  const char* prompt;  // the prompt whose answer failed
};

TEST(InputFaults, EveryReadFailureOfTheDialogue) {
  const std::string invalid = "invalid number"s + malformed;
  const std::string repeat = "bad repetition count"s + malformed;
  const std::string exponent = "exponent field"s + malformed;
  const std::string eof = "list in: end of file";
  const InputFailure cases[] = {
      {"letters for fmax", "abc\n", invalid, "Enter fmax"},
      {"a unit without its number", "6\n4.65\nm/s\n", invalid, "Enter vm"},
      {"binary bytes", "\0\xff\x01\x80\n"s, invalid, "Enter fmax"},
      {"a carriage return not before a line feed", "6\n\r5\n", invalid, "Enter slip"},
      {"a field of asterisks", "*****\n", repeat, "Enter fmax"},
      {"a zero repeat count", "6\n0*4\n", repeat, "Enter slip"},
      {"a negative repeat count", "6\n4.65\n4.32\n-2*1\n", repeat, "Enter ts"},
      {"an exponent letter without digits", "1e\n", exponent, "Enter fmax"},
      {"an exponent sign without digits", "6\n4.65\n4.32e+\n", exponent, "Enter vm"},
      {"a bare sign after the digits", "6\n4.65\n4.32\n2.8-\n", exponent, "Enter ts"},
      {"an exponent above 99999999", "6\n1e100000000\n", exponent, "Enter slip"},
      {"no answer at all", "", eof, "Enter fmax"},
      {"input ends before slip", "6\n", eof, "Enter slip"},
      {"only blank lines left", "6\n4.65\n\n  \n\t\n", eof, "Enter vm"},
      {"input ends before ts", "6\n4.65\n4.32\n", eof, "Enter ts"},
      {"the channel already at its end", "6", "read start: end of file", "Enter slip"},
  };
  for (const InputFailure& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    RunResult r = run_slipvel(dir.path, c.input);
    EXPECT_TRUE(aborted(r));
    EXPECT_EQ(r.err, report(c.first_line, "unit 5 (unnamed)", "list io", "reading"));
    EXPECT_TRUE(same_text(r.out, example_out_through(c.prompt)));
    EXPECT_TRUE(listing(dir).empty());
  }
}

// A read error of the stream itself (standard input that is a directory)
// is reported with the system's text for it.
TEST(InputFaults, ReadErrorOfStandardInput) {
  TempDir dir, io;
  int in = open(io.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int out = open(io.file("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  pid_t pid = spawn(dir, in, out, err);
  for (int fd : {in, out, err}) close(fd);
  RunResult r = wait_for(pid);
  EXPECT_TRUE(aborted(r));
  EXPECT_EQ(io.read("err"), report("list in: Is a directory", "unit 5 (unnamed)", "list io",
                                   "reading"));
  EXPECT_TRUE(same_text(io.read("out"), example_out_through("Enter fmax")));
  EXPECT_TRUE(listing(dir).empty());
}

// ---------------------------------------------------------------------------
// Hostile sizes and forms: huge lines, masses of empty lines, numbers of
// 100,000 digits, the exponent limit, binary bytes. Each gives its result or
// its report, and the memory stays that of an ordinary run.

enum class Outcome { example, zero_ts, inf_fmax, exponent_field };

struct Hostile {
  const char* why;
  std::string input;
  Outcome outcome;
};

// An ordinary run needs well under 2 MB of data; 8 MB leaves no room for
// keeping a 10 MB input line. The sanitizers reserve their shadow memory as
// data, so their build runs without the limit.
#if defined(__SANITIZE_ADDRESS__)
constexpr long hostile_data_limit = -1;
#else
constexpr long hostile_data_limit = 8 << 20;
#endif

TEST(InputFaults, HostileSizesAndForms) {
  const std::string rest = "\n4.65\n4.32\n2.8\n";
  const Hostile cases[] = {
      {"a 10 MB answer line", "6 " + std::string(10'000'000, 'x') + rest, Outcome::example},
      {"10 MB of blanks before an answer", std::string(10'000'000, ' ') + "6" + rest,
       Outcome::example},
      {"a million empty lines before an answer", std::string(1'000'000, '\n') + "6" + rest,
       Outcome::example},
      {"binary bytes after an answer", "6\0\xff\x01 garbage"s + rest, Outcome::example},
      // Only 40 significant digits take part: further integer digits raise
      // the exponent, further fraction digits are dropped.
      {"100,000 integer digits scaled back", "6" + std::string(99'999, '0') + "e-99999" + rest,
       Outcome::example},
      {"100,000 zeros after the point", "." + std::string(99'999, '0') + "6e100000" + rest,
       Outcome::example},
      {"100,000 fraction digits", "6\n4.65" + std::string(99'995, '0') + "1\n4.32\n2.8\n",
       Outcome::example},
      {"1 and 99,999 zeros: an infinite fmax", "1" + std::string(99'999, '0') + rest,
       Outcome::inf_fmax},
      {"the largest exponent, upwards", "1e99999999" + rest, Outcome::inf_fmax},
      {"the largest exponent, downwards", "6\n4.65\n4.32\n1e-99999999\n", Outcome::zero_ts},
      {"an exponent one above the limit", "1e100000000" + rest, Outcome::exponent_field},
  };
  const Reference& ref = reference();
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    // Nothing of the input is kept beyond the read-ahead.
    RunResult r = run_from_file(dir, c.input, "", {.data = hostile_data_limit});
    switch (c.outcome) {
      case Outcome::example:
        EXPECT_TRUE(exited_with(r, 0));
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(same_text(r.out, ref.out));
        expect_example_files(dir);
        break;
      case Outcome::zero_ts:
        EXPECT_TRUE(exited_with(r, 0));
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find(" ts, tr =   0. (s)  0. (s)\n"), std::string::npos);
        EXPECT_EQ(listing(dir).size(), 4u);
        break;
      case Outcome::inf_fmax:
        // td = 0 fills slip_t.csv with nan fields, which its read-back
        // rejects; both finished files keep every record.
        EXPECT_TRUE(aborted(r));
        EXPECT_NE(r.out.find(" fmax,td =   INF (Hz)  0. (s)\n"), std::string::npos);
        EXPECT_EQ(r.err, report("invalid number"s + malformed, file_unit + "slip_t.csv",
                                "list io", "reading"));
        EXPECT_EQ(count_lines(dir.read("slip_t.csv")), 1002);
        EXPECT_EQ(count_lines(dir.read("slip_a.csv")), 2513);
        EXPECT_EQ(listing(dir), (std::vector<std::string>{"slip_a.csv", "slip_t.csv"}));
        break;
      case Outcome::exponent_field:
        EXPECT_TRUE(aborted(r));
        EXPECT_EQ(r.err, report("exponent field"s + malformed, "unit 5 (unnamed)", "list io",
                                "reading"));
        EXPECT_TRUE(listing(dir).empty());
        break;
    }
  }
}

// A line end stored as carriage return and line feed reads like a line
// feed: empty lines of that kind are passed over before an answer.
TEST(InputFaults, CarriageReturnLineFeedAnswers) {
  TempDir dir;
  RunResult r = run_slipvel(dir.path, "\r\n6\r\n\r\n4.65\r\n4.32\r\n\r\n\r\n2.8\r\n");
  EXPECT_TRUE(exited_with(r, 0));
  EXPECT_TRUE(same_text(r.out, reference().out));
  expect_example_files(dir);
}

// ---------------------------------------------------------------------------
// The read-back of slip_t.csv, in a child process as the program runs it:
// the console channels connected, the working directory holding the file.

const float td_example = 0.0530516468f, tr_example = 1.86666667f, ts_example = 2.8f;

[[noreturn]] void read_back_in(const std::string& dir) {
  if (chdir(dir.c_str()) != 0) std::_Exit(99);
  connect_standard_channels();
  static Samples tm, rate;
  Picks p;
  read_slip_t(nt_grid, td_example, tr_example, ts_example, tm, rate, p);
  std::exit(0);
}

// Rows of the example slip_t.csv, the header first.
std::vector<std::string> example_slip_t_lines() {
  std::vector<std::string> lines;
  const std::string& text = reference().files.at("slip_t.csv");
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(text.substr(at, end - at + 1));
  return lines;
}

std::string joined(const std::vector<std::string>& lines, size_t n) {
  std::string s;
  for (size_t k = 0; k < n && k < lines.size(); k++) s += lines[k];
  return s;
}

// Row 300 with its field k (0 time, 1 slip, 2 velocity, 3 acceleration)
// replaced by `field`.
std::string with_field(const std::string& field, int k) {
  std::vector<std::string> lines = example_slip_t_lines();
  std::string& row = lines[300];
  size_t start = 0;
  for (int i = 0; i < k; i++) start = row.find(',', start) + 1;
  row.replace(start, row.find(',', start) - start, field);
  return joined(lines, lines.size());
}

struct DamagedFile {
  const char* why;
  std::string text;
  std::string first_line;
};

TEST(ReadBackFaults, DamagedSlipT) {
  const std::vector<std::string> lines = example_slip_t_lines();
  const std::string eof = "list in: end of file";
  const DamagedFile cases[] = {
      {"lost all its rows", joined(lines, 1), eof},
      {"shortened by whole rows", joined(lines, 501), eof},
      {"cut inside a row", joined(lines, 501) + "    5.00,", eof},
      {"last row without its line end", joined(lines, 501) + "    5.00, 0.1, 0.2, 0.3",
       "read start: end of file"},
      {"empty", "", "read start: end of file"},
      {"a field of asterisks", with_field(std::string(15, '*'), 1),
       "bad repetition count"s + malformed},
      {"a field of nan", with_field("            nan", 2), "invalid number"s + malformed},
      {"garbage text", with_field("garbage", 3), "invalid number"s + malformed},
      {"an exponent without digits", with_field("1.5e", 0), "exponent field"s + malformed},
  };
  for (const DamagedFile& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    dir.write("slip_t.csv", c.text);
    EXPECT_EXIT(read_back_in(dir.path), testing::KilledBySignal(SIGABRT),
                testing::Eq(report(c.first_line, file_unit + "slip_t.csv", "list io", "reading")));
  }
}

// slip_t.csv removed between its writing and its read-back: the open of an
// existing file fails, after the last statement wrote a fixed-field row.
TEST(ReadBackFaults, MissingSlipT) {
  TempDir dir;
  auto write_then_remove_then_read = [&] {
    if (chdir(dir.path.c_str()) != 0) std::_Exit(99);
    connect_standard_channels();
    static Samples tm, rate;
    for (int i = 1; i <= nt_grid; i++) tm(i) = static_cast<float>((i - 1) * double(0.01f));
    write_slip_t(nt_grid, 0.01f, tm, rate);
    std::remove("slip_t.csv");
    read_back_in(dir.path);
  };
  EXPECT_EXIT(write_then_remove_then_read(), testing::KilledBySignal(SIGABRT),
              testing::Eq(report("open: No such file or directory", file_unit + "slip_t.csv", "",
                                 "writing")));
}

// Runs the read-back in this process in `dir`, then returns to where it was.
// A failure report becomes a test failure instead of the end of the tests.
void read_back(const TempDir& dir, float td, float tr, float ts, Samples& tm, Samples& rate,
               Picks& p) {
  struct Failed {
    std::string context;
  };
  std::string here = std::filesystem::current_path();
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  failure_hook = [](int, const char* context) { throw Failed{context}; };
  try {
    read_slip_t(nt_grid, td, tr, ts, tm, rate, p);
  } catch (const Failed& f) {
    ADD_FAILURE() << "the read-back failed: " << f.context;
    close_file_channel();
  }
  failure_hook = nullptr;
  ASSERT_EQ(chdir(here.c_str()), 0);
}

// A file stored with carriage returns before its line feeds, empty lines
// among its rows, reads back to the same values and picks.
TEST(ReadBackFaults, CarriageReturnLineFeedFile) {
  std::string crlf;
  for (const std::string& line : example_slip_t_lines())
    crlf += line.substr(0, line.size() - 1) + "\r\n" + (crlf.empty() ? "\r\n" : "");
  crlf += "\r\n";
  TempDir lf_dir, crlf_dir;
  lf_dir.write("slip_t.csv", reference().files.at("slip_t.csv"));
  crlf_dir.write("slip_t.csv", crlf);
  static Samples tm1, rate1, tm2, rate2;
  Picks p1, p2;
  read_back(lf_dir, td_example, tr_example, ts_example, tm1, rate1, p1);
  read_back(crlf_dir, td_example, tr_example, ts_example, tm2, rate2, p2);
  EXPECT_EQ(tm1(6), 0.050000001f);
  const float got[] = {p2.td2, p2.tr2, p2.ts2, p2.tr2_2, p2.tr2_3, p2.tr2_4};
  const float want[] = {0.05f, 1.87f, 2.8f, 0.93f, 0.47f, 0.23f};
  for (int k = 0; k < 6; k++) EXPECT_EQ(got[k], want[k]) << k;
  for (int i = 1; i <= nt_grid; i++) {
    ASSERT_EQ(tm2(i), tm1(i)) << i;
    ASSERT_EQ(rate2(i), rate1(i)) << i;
  }
  EXPECT_EQ(p2.v_tr, p1.v_tr);
  EXPECT_EQ(p2.v_tr_4, p1.v_tr_4);
}

// A characteristic time that no row comes nearer to holds sample 1: td of
// fmax = 64 lies nearer to 0 than to 0.01, tr/8 of ts = 0.06 halfway.
TEST(ReadBackFaults, NoRowNearerHoldsSampleOne) {
  TempDir dir;
  dir.write("slip_t.csv", reference().files.at("slip_t.csv"));
  static Samples tm, rate;
  Picks p;
  const float td64 = static_cast<float>(1 / (64.0 * 3.1415927f));
  const float ts = 0.06f;
  const float tr = static_cast<float>((static_cast<double>(ts) + ts) / 3);
  read_back(dir, td64, tr, ts, tm, rate, p);
  EXPECT_EQ(p.td2, 0.0f);
  EXPECT_EQ(p.tr2_4, 0.0f);
  EXPECT_EQ(p.v_tr_4, rate(1));
  EXPECT_EQ(p.tr2_3, 0.01f);  // tr/4 = 0.01 itself
}

// ---------------------------------------------------------------------------
// Permissions. Root ignores permission bits, so the program runs as nobody.

constexpr int nobody = 65534;

TEST(FileFaults, ReadOnlyParameterFile) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as nobody";
  TempDir dir;
  dir.write("parameter.csv", "kept as it was\n");
  ASSERT_EQ(chmod(dir.file("parameter.csv").c_str(), 0444), 0);
  RunOptions opt;
  opt.input = example_answers;
  opt.uid = nobody;
  RunResult r = run_slipvel(dir.path, opt);
  EXPECT_TRUE(aborted(r));
  EXPECT_EQ(r.err, report("list output start: can't write file", file_unit + "parameter.csv",
                          "list io", "writing"));
  EXPECT_TRUE(same_text(r.out, reference().out));
  expect_example_files(dir, {"slip_t.csv", "slip_a.csv", "slip_vel-5triangle.csv"});
  EXPECT_EQ(dir.read("parameter.csv"), "kept as it was\n");
}

TEST(FileFaults, UnwritableDirectory) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as nobody";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path.c_str(), 0555), 0);
  RunOptions opt;
  opt.input = example_answers;
  opt.uid = nobody;
  RunResult r = run_slipvel(dir.path, opt);
  EXPECT_TRUE(aborted(r));
  EXPECT_EQ(r.err, report("open: Permission denied", file_unit + "slip_t.csv", "list io",
                          "writing"));
  EXPECT_TRUE(same_text(r.out, example_out_through(" ts, tr = ")));
  EXPECT_TRUE(listing(dir).empty());
}

// ---------------------------------------------------------------------------
// Full disks. An output file that is /dev/full fails its first hand-over:
// mid-file for the two long files, at the close for the short ones. Every
// file before it stays complete.

TEST(FileFaults, FullDisk) {
  const struct {
    const char* file;
    std::string format;  // the statement under way, if any
  } cases[] = {
      {"slip_t.csv", ""},
      {"slip_a.csv", slip_a_row},
      {"slip_vel-5triangle.csv", R"((f8.2,",",7(f15.5,",")))"},
      {"parameter.csv", "list io"},
  };
  const Reference& ref = reference();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir dir;
    ASSERT_EQ(symlink("/dev/full", dir.file(c.file).c_str()), 0);
    RunResult r = run_slipvel(dir.path, example_answers);
    EXPECT_TRUE(aborted(r));
    EXPECT_EQ(r.err, report("write: No space left on device", file_unit + c.file, c.format,
                            "writing"));
    expect_complete_records(r.out, ref.out, "standard output");
    for (const char* f : output_files) {
      if (f == std::string(c.file)) break;
      EXPECT_TRUE(same_text(dir.read(f), ref.files.at(f))) << f;
    }
  }
}

// A disk that fills in the middle of a hand-over (a file size limit): the
// file is cut back to its last complete record.
TEST(FileFaults, DiskFullInsideARecord) {
  const struct {
    long limit;
    const char* file;
    std::string format;
  } cases[] = {{30000, "slip_t.csv", ""}, {100000, "slip_a.csv", slip_a_row}};
  const Reference& ref = reference();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir dir;
    RunResult r = run_from_file(dir, example_answers, "/dev/null", {.file_size = c.limit});
    EXPECT_TRUE(aborted(r));
    EXPECT_EQ(r.err,
              report("write: File too large", file_unit + c.file, c.format, "writing"));
    const std::string& whole = ref.files.at(c.file);
    std::string kept = whole.substr(0, whole.rfind('\n', c.limit - 1) + 1);
    EXPECT_TRUE(same_text(dir.read(c.file), kept));
    if (c.file == "slip_a.csv"s) {
      expect_example_files(dir, {"slip_t.csv"});
    }
  }
}

// A standard output that cannot be written fails when the first prompt is
// handed over, before the answer is read.
TEST(FileFaults, StandardOutputFull) {
  TempDir dir;
  RunResult r = run_from_file(dir, example_answers, "/dev/full");
  EXPECT_TRUE(aborted(r));
  EXPECT_EQ(r.err, report("write: No space left on device", "unit 6 (unnamed)", "list io",
                            "writing"));
  EXPECT_TRUE(listing(dir).empty());
}

// Memory running out at each point of the run, the data limit raised step
// by step: the run ends with the report of a buffer it could not have, every
// file keeping its complete records, or completes once the limit allows.
// With the least memory the program cannot start at all.
TEST(FileFaults, OutOfMemory) {
  if (hostile_data_limit < 0) GTEST_SKIP() << "the sanitizers need their shadow memory as data";
  const Reference& ref = reference();
  int reports = 0, complete = 0;
  for (long kb = 256; kb <= 2048 && complete == 0; kb += 8) {
    SCOPED_TRACE(kb);
    TempDir dir;
    RunResult r = run_from_file(dir, example_answers, "", {.data = kb << 10});
    // No room to load, to set up the constant layouts, or (statically
    // linked) for the C library's thread block, which it cannot report
    // before main and ends with SIGSEGV: nothing is written.
    bool no_start = exited_with(r, 127) ||
                    r.err == "terminate called without an active exception\n" ||
                    (!r.exited && r.code == SIGSEGV && r.err.empty());
    if (r.out.empty() && no_start) continue;
    if (exited_with(r, 0)) {
      complete++;
      EXPECT_TRUE(same_text(r.out, ref.out));
      expect_example_files(dir);
      continue;
    }
    reports++;
    EXPECT_TRUE(aborted(r));
    // The report names the channel that wanted its buffer.
    EXPECT_TRUE(starts_with(r.err, "malloc failure: out of free space\napparent state: unit "));
    // A write, or the read-back of slip_t.csv wanting its input buffer.
    EXPECT_TRUE(r.err.ends_with(
                    "\nlast format: list io\nlately writing sequential formatted external IO\n") ||
                r.err.ends_with("named slip_t.csv\nlast format: list io\n"
                                "lately reading sequential formatted external IO\n"))
        << r.err;
    EXPECT_EQ(count_lines(r.err), 4);
    expect_complete_records(r.out, ref.out, "standard output");
    for (const std::string& f : listing(dir))
      expect_complete_records(dir.read(f), ref.files.at(f), f);
  }
  RecordProperty("reports", reports);
  EXPECT_GT(reports, 0);
  EXPECT_EQ(complete, 1);
}

// ---------------------------------------------------------------------------
// Existing files: a longer one is cut to this run's records, a shorter one
// is overwritten and extended.

TEST(FileFaults, ExistingFilesAreReplaced) {
  std::string longer;
  while (longer.size() < 400000) longer += "an older and much longer line of another run\n";
  for (const std::string& old : {longer, "old\n"s}) {
    SCOPED_TRACE(old.size());
    TempDir dir;
    for (const char* f : output_files) dir.write(f, old);
    RunResult r = run_slipvel(dir.path, example_answers);
    EXPECT_TRUE(exited_with(r, 0));
    expect_example_files(dir);
  }
}

// ---------------------------------------------------------------------------
// Signals. An interrupt or termination request while the spectra are
// computed ends the run with status 1: slip_t.csv complete, slip_a.csv with
// complete records only (an older, longer slip_a.csv cut after them).

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

// Waits until `ready` holds while the run sleeps, for at most 20 s.
template <class Ready>
bool wait_until(pid_t pid, Ready ready) {
  for (int k = 0; k < 10000; k++) {
    if (ready() && process_state(pid) == 'S') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
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

// Readers that stopped reading: standard output a one-page pipe that is not
// read while the signal is sent and until the run has ended, and where the
// case says so slip_a.csv a FIFO whose reader stopped too. The run waits in
// a write (or for an answer) when the signal comes; it must end at once,
// every file keeping whole records only.
TEST(SignalFaults, StalledReaders) {
  enum Where { prompt_full_pipe, spectra_fifo, last_hand_over };
  const struct {
    int signal;
    const char* message;
    Where where;
  } cases[] = {
      {SIGINT, "Interrupt\n", prompt_full_pipe}, {SIGTERM, "Killed\n", prompt_full_pipe},
      {SIGINT, "Interrupt\n", spectra_fifo},     {SIGTERM, "Killed\n", spectra_fifo},
      {SIGINT, "Interrupt\n", last_hand_over},   {SIGTERM, "Killed\n", last_hand_over},
  };
  const Reference& ref = reference();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.message) + " case " + std::to_string(c.where));
    TempDir dir, io;
    int in[2], out[2];
    ASSERT_EQ(pipe(in) | pipe(out), 0);
    fcntl(out[0], F_SETPIPE_SZ, 4096);
    if (c.where == prompt_full_pipe) {
      // Someone else's output already fills the pipe: the first prompt waits.
      fcntl(out[1], F_SETFL, O_NONBLOCK);
      while (write(out[1], "x", 1) == 1) {
      }
      fcntl(out[1], F_SETFL, 0);
    } else {
      ASSERT_EQ(write(in[1], example_answers, std::strlen(example_answers)),
                static_cast<ssize_t>(std::strlen(example_answers)));
    }
    int fifo = -1;
    if (c.where == spectra_fifo) {
      ASSERT_EQ(mkfifo(dir.file("slip_a.csv").c_str(), 0644), 0);
      fifo = open(dir.file("slip_a.csv").c_str(), O_RDONLY | O_NONBLOCK);
    }
    int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = spawn(dir, in[0], out[1], err);
    close(err);
    close(in[0]);
    close(out[1]);
    // The moment the run waits where the case puts it.
    bool waiting = wait_until(pid, [&] {
      // Full: no page of the FIFO left for the next whole-record write.
      if (c.where == spectra_fifo) return queued(fifo) > fcntl(fifo, F_GETPIPE_SZ) - 4096;
      if (c.where == last_hand_over) return dir.exists("parameter.csv");
      return true;
    });
    EXPECT_TRUE(waiting);
    kill(pid, c.signal);
    // A liveness bound, not a speed test: the end must not wait on a reader.
    RunResult r = wait_for(pid, 5);
    EXPECT_TRUE(exited_with(r, 1));
    EXPECT_EQ(io.read("err"), c.message);
    std::string out_text = drain(out[0]);
    if (c.where == prompt_full_pipe) {
      EXPECT_TRUE(listing(dir).empty());
    } else {
      expect_complete_records(out_text, ref.out, "standard output");
      expect_example_files(dir, {"slip_t.csv"});
    }
    if (c.where == spectra_fifo) {
      std::string slip_a = drain(fifo);
      EXPECT_GE(count_lines(slip_a), 1000);
      expect_complete_records(slip_a, ref.files.at("slip_a.csv"), "slip_a.csv");
      EXPECT_FALSE(dir.exists("slip_vel-5triangle.csv"));
    }
    if (c.where == last_hand_over) expect_example_files(dir);
    for (int fd : {in[1], out[0], fifo})
      if (fd >= 0) close(fd);
  }
}

// A failure while standard output's reader has stopped reading: the records
// it would not take are given up, and the report still comes and ends the run.
TEST(SignalFaults, FailureWithStalledOutput) {
  TempDir dir, io;
  ASSERT_EQ(symlink("/dev/full", dir.file("slip_a.csv").c_str()), 0);
  int in[2], out[2];
  ASSERT_EQ(pipe(in) | pipe(out), 0);
  fcntl(out[0], F_SETPIPE_SZ, 4096);
  ASSERT_GT(write(in[1], example_answers, std::strlen(example_answers)), 0);
  close(in[1]);
  int err = open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = spawn(dir, in[0], out[1], err);
  for (int fd : {in[0], out[1], err}) close(fd);
  RunResult r = wait_for(pid, 10);  // a liveness bound: the pipe is never read
  EXPECT_TRUE(aborted(r));
  EXPECT_EQ(io.read("err"), report("write: No space left on device", file_unit + "slip_a.csv",
                                   slip_a_row, "writing"));
  expect_complete_records(drain(out[0]), reference().out, "standard output");
  close(out[0]);
}

// A run killed outright while it writes slip_a.csv over an older, longer
// file: the file holds this run's whole records and nothing of the old one.
// The kill comes right after the first write to the file.
TEST(SignalFaults, KilledMidFileOverOlderFile) {
  const Reference& ref = reference();
  std::string older;
  while (count_lines(older) < 30000) older += "  9.9999,    0.99999E+09,    0.99999E+09,    0.99999E+09,\n";
  TempDir dir;
  dir.write("slip_a.csv", older);
  int in[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_GT(write(in[1], example_answers, std::strlen(example_answers)), 0);
  close(in[1]);
  int null = open("/dev/null", O_WRONLY);
  Limits traced;
  traced.traced = true;
  pid_t pid = spawn(dir, in[0], null, null, traced);
  close(in[0]);
  close(null);
  EXPECT_TRUE(kill_after_first_write(pid, std::filesystem::canonical(dir.file("slip_a.csv"))));
  RunResult r = wait_for(pid, 5);
  EXPECT_FALSE(r.exited);
  std::string slip_a = dir.read("slip_a.csv");
  EXPECT_GT(slip_a.size(), 0u);
  EXPECT_LT(slip_a.size(), ref.files.at("slip_a.csv").size()) << "the kill came after the file";
  EXPECT_EQ(slip_a.find("0.99999E+09"), std::string::npos) << "rows of the older file remain";
  expect_complete_records(slip_a, ref.files.at("slip_a.csv"), "slip_a.csv");
}

// A signal while the program waits for the last answer: status 1, no file.
TEST(SignalFaults, DuringTheDialogue) {
  const struct {
    int signal;
    const char* message;
  } cases[] = {{SIGINT, "Interrupt\n"}, {SIGTERM, "Killed\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    RunOptions opt;
    opt.input = "6\n4.65\n4.32\n";
    opt.hold_input = true;
    opt.signal = c.signal;
    opt.signal_after = "Enter ts";
    RunResult r = run_slipvel(dir.path, opt);
    EXPECT_TRUE(exited_with(r, 1));
    EXPECT_EQ(r.err, c.message);
    EXPECT_TRUE(same_text(r.out, example_out_through("Enter ts")));
    EXPECT_TRUE(listing(dir).empty());
  }
}

// An interrupt ignored by whoever started the run stays ignored.
TEST(SignalFaults, IgnoredInterruptStaysIgnored) {
  TempDir dir;
  RunOptions opt;
  opt.input = example_answers;
  opt.ignore_sigint = true;
  opt.signal = SIGINT;
  opt.signal_after = " i,om=  1 ";
  RunResult r = run_slipvel(dir.path, opt);
  EXPECT_TRUE(exited_with(r, 0));
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(same_text(r.out, reference().out));
  expect_example_files(dir);
}

// ---------------------------------------------------------------------------
// Random answers over wide ranges, negative and zero values included. Each
// run completes (status 0), stops its search (status 2) or meets nan or
// asterisk fields at the read-back (the report, abort); never a hang or a
// sanitizer report. Four shards of 50 runs.

std::string random_answer(std::mt19937& rng) {
  std::uniform_real_distribution<double> unit(0, 1);
  if (unit(rng) < 0.08) return unit(rng) < 0.5 ? "0" : "-0";
  // Mostly within twelve decades of 1, now and then anywhere a float reaches.
  double decade = unit(rng) < 0.8 ? 24 * unit(rng) - 12 : 90 * unit(rng) - 45;
  int digits = 1 + static_cast<int>(9 * unit(rng));
  char text[40];
  std::snprintf(text, sizeof text, "%s%.*g", unit(rng) < 0.3 ? "-" : "", digits,
                std::pow(10.0, decade));
  return text;
}

void expect_complete_run(const TempDir& dir, const RunResult& r) {
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(count_lines(r.out), 14 + 2512);
  expect_rows(dir.read("slip_t.csv"), 48, 57);
  expect_rows(dir.read("slip_a.csv"), 49, 57);
  expect_rows(dir.read("slip_vel-5triangle.csv"), 60, 121);
  std::string parameter = dir.read("parameter.csv");
  EXPECT_EQ(count_lines(parameter), 11);
  EXPECT_EQ(parameter.back(), '\n');
}

void expect_stopped_search(const TempDir& dir, const RunResult& r) {
  EXPECT_TRUE(starts_with(r.err, "slip-velocity search does not converge for td = "));
  EXPECT_EQ(count_lines(r.err), 1);
  EXPECT_EQ(count_lines(r.out), 14);
  EXPECT_TRUE(listing(dir).empty());
}

void expect_read_back_report(const TempDir& dir, const RunResult& r) {
  std::string first = r.err.substr(0, r.err.find('\n'));
  EXPECT_TRUE(first == "invalid number"s + malformed ||
              first == "bad repetition count"s + malformed)
      << first;
  EXPECT_EQ(r.err, report(first, file_unit + "slip_t.csv", "list io", "reading"));
  expect_rows(dir.read("slip_t.csv"), 48, 57);
  expect_rows(dir.read("slip_a.csv"), 49, 57);
  EXPECT_EQ(count_lines(dir.read("slip_a.csv")), 2513);
}

class RandomAnswers : public testing::TestWithParam<int> {};

TEST_P(RandomAnswers, EndAsSpecified) {
  std::mt19937 rng(20240 + GetParam());
  int complete = 0, stopped = 0, reported = 0;
  for (int run = 0; run < 50; run++) {
    std::string answers;
    for (int k = 0; k < 4; k++) answers += random_answer(rng) + "\n";
    SCOPED_TRACE(answers);
    TempDir dir;
    RunOptions opt;
    opt.input = answers;
    opt.timeout_s = 60;
    RunResult r = run_slipvel(dir.path, opt);
    ASSERT_FALSE(r.timed_out);
    if (exited_with(r, 0)) {
      complete++;
      expect_complete_run(dir, r);
    } else if (exited_with(r, 2)) {
      stopped++;
      expect_stopped_search(dir, r);
    } else if (aborted(r)) {
      reported++;
      expect_read_back_report(dir, r);
    } else {
      ADD_FAILURE() << "status " << r.code << (r.exited ? "" : " (signal)") << "\n" << r.err;
    }
    if (HasFailure()) break;
  }
  RecordProperty("complete", complete);
  RecordProperty("stopped", stopped);
  RecordProperty("reported", reported);
}

INSTANTIATE_TEST_SUITE_P(Shards, RandomAnswers, testing::Range(0, 4));

}  // namespace
