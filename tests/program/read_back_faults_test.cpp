// The read-back of slip_t.csv when the file is damaged, missing or stored
// with carriage returns: each ends with its report or reads the same values.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/failure_support.h"
#include "records/channel.h"
#include "records/channel_table.h"
#include "records/early_end.h"
#include "program/write_slip_t.h"
#include "program/read_slip_t.h"

using namespace std::string_literals;

namespace {

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

}  // namespace
