// Files that cannot be written, end to end: permissions, full disks, a file
// size limit, memory running out, older files in the folder.
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
    RunResult r = run_from_file(dir, example_answers, "/dev/null", limited(&RunOptions::file_size, c.limit));
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
    RunResult r = run_from_file(dir, example_answers, "", limited(&RunOptions::data, kb << 10));
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

}  // namespace
