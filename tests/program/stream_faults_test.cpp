// Standard streams closed by whoever started the run. A closed stream keeps
// its number: no file of the run takes it, so nothing meant for the console
// lands in a file and no record of a file goes to the console. What the run
// writes to a closed standard error is dropped; a closed standard input or
// output fails as the stream it is.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/failure_support.h"

namespace {

enum Stream { input = 0, output = 1, error = 2 };

struct ClosedStream {
  const char* why;
  Stream closed;
  const char* answers;
  bool files;            // the run gets as far as writing files
  bool out_pipe;         // standard output a pipe, else a file
  std::string out, err;  // what the open streams show (for a run without files)
};

TEST(StreamFaults, ClosedStandardStreams) {
  const std::string read_back_report =
      report("invalid number: incomprehensible list input", file_unit + "slip_t.csv", "list io",
             "reading");
  const ClosedStream cases[] = {
      // ts = 1.5 s leaves nan in slip_t.csv, so its read-back fails: the
      // report of that failure once went into slip_t.csv, which had taken
      // descriptor 2.
      {"standard error closed, a failure with slip_t.csv open", error, "6\n4.65\n4.32\n1.5\n",
       true, false, "", ""},
      // The second description of standard output once took descriptor 2,
      // and the report of the bad answer went to standard output.
      {"standard error closed, a bad answer, output a pipe", error, "abc\n", false, true,
       example_out_through("Enter fmax"), ""},
      {"standard output closed", output, "6\n", false, false, "",
       report("write: Bad file descriptor", "unit 6 (unnamed)", "list io", "writing")},
      {"standard input closed", input, "", false, false, example_out_through("Enter fmax"),
       report("list in: Bad file descriptor", "unit 5 (unnamed)", "list io", "reading")},
  };
  for (const ClosedStream& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir, io, open_dir;
    io.write("in", c.answers);
    int fds[3] = {open(io.file("in").c_str(), O_RDONLY | O_CLOEXEC),
                  open(io.file("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644),
                  open(io.file("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)};
    int out_pipe[2] = {-1, -1};
    if (c.out_pipe) {
      ASSERT_EQ(pipe2(out_pipe, O_CLOEXEC), 0);
    }
    int given[3] = {fds[0], c.out_pipe ? out_pipe[1] : fds[1], fds[2]};
    given[c.closed] = -1;
    pid_t pid = start_slipvel(dir.path, given[0], given[1], given[2]);
    if (c.out_pipe) close(out_pipe[1]);
    RunResult r = wait_for(pid);
    for (int fd : fds) close(fd);
    if (c.out_pipe) {
      io.write("out", drain(out_pipe[0]));
      close(out_pipe[0]);
    }
    EXPECT_TRUE(aborted(r));
    if (!c.files) {
      if (c.closed != output) {
        EXPECT_TRUE(same_text(io.read("out"), c.out));
      }
      if (c.closed != error) {
        EXPECT_EQ(io.read("err"), c.err);
      }
      EXPECT_TRUE(listing(dir).empty());
      continue;
    }
    // The files are those of the same run with every stream open, and that
    // run reports the read-back on its standard error.
    RunResult open_run = run_slipvel(open_dir.path, c.answers);
    EXPECT_TRUE(aborted(open_run));
    EXPECT_EQ(open_run.err, read_back_report);
    EXPECT_TRUE(same_text(io.read("out"), open_run.out));
    EXPECT_EQ(listing(dir), listing(open_dir));
    for (const std::string& name : listing(open_dir))
      EXPECT_TRUE(same_text(dir.read(name), open_dir.read(name))) << name;
    EXPECT_EQ(count_lines(dir.read("slip_t.csv")), 1002);
  }
}

// A standard output or error given as the read end of a pipe: the run never
// opens it again for writing (which would write into the pipe), and it never
// waits for room that cannot come. Standard output fails as a write at the
// first prompt, standard error is dropped; the pipe stays empty.
TEST(StreamFaults, ReadEndAsOutput) {
  const struct {
    const char* why;
    Stream stream;
    std::string out, err;  // what the other stream shows
  } cases[] = {
      {"standard output", output, "",
       report("write: Bad file descriptor", "unit 6 (unnamed)", "list io", "writing")},
      {"standard error", error, example_out_through("Enter fmax"), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir, io;
    io.write("in", "abc\n");
    int in = open(io.file("in").c_str(), O_RDONLY | O_CLOEXEC);
    int other = open(io.file("other").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    int read_end[2];
    ASSERT_EQ(pipe2(read_end, O_CLOEXEC), 0);
    pid_t pid = c.stream == output ? start_slipvel(dir.path, in, read_end[0], other)
                                   : start_slipvel(dir.path, in, other, read_end[0]);
    RunResult r = wait_for(pid, 10);  // a liveness bound
    EXPECT_TRUE(aborted(r));
    EXPECT_EQ(io.read("other"), c.stream == output ? c.err : c.out);
    EXPECT_EQ(drain(read_end[0]), "");
    for (int fd : {in, other, read_end[0], read_end[1]}) close(fd);
    EXPECT_TRUE(listing(dir).empty());
  }
}

}  // namespace
