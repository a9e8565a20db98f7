// Random answers over wide ranges: each run completes, stops its search or
// reports the read-back of fields it cannot read; never a hang.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "support/failure_support.h"

using namespace std::string_literals;

namespace {

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

TEST_P(RandomAnswers, CompletesStopsOrReports) {
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
