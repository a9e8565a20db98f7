// Answers that cannot be read, end to end: every failure of the reader at
// each prompt, read errors of the stream, hostile sizes and forms.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>

#include "support/failure_support.h"

using namespace std::string_literals;

namespace {

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
      {"input ends before vm", "6\n4.65\n", eof, "Enter vm"},
      {"input ends before ts", "6\n4.65\n4.32\n", eof, "Enter ts"},
      {"the channel already at its end", "6", "read start: end of file", "Enter slip"},
      {"the channel at its end before vm", "6\n4.65", "read start: end of file", "Enter vm"},
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
  pid_t pid = start_slipvel(dir.path, in, out, err);
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
    RunResult r = run_from_file(dir, c.input, "", limited(&RunOptions::data, hostile_data_limit));
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

}  // namespace
