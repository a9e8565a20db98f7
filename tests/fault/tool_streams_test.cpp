// slipvel-fault's standard streams and command lines: a closed or full
// standard output ends every command with status 1 and one line naming the
// stream and the system's reason (never status 0 with the output lost), and
// every command answers --help on standard output with status 0.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/tool_support.h"

namespace {

const std::string tool = SLIPVEL_FAULT_BIN;

// A folder with the small fault's description, table and SRF.
struct SmallFault {
  TempDir dir;
  SmallFault() {
    dir.write("small.toml", fault_data("small.toml"));
    dir.write("small_table.csv", fault_data("small_table.csv"));
    dir.write("small.srf", fault_golden("small-2.0.srf"));
  }
  Ended shell(const std::string& script) const {
    TempDir scratch;
    return run_command({"/bin/sh", "-c", "cd '" + dir.path + "' && " + script}, {}, scratch, 120);
  }
};

const std::string full = "slipvel-fault: standard output: write failed: No space left on device\n";

TEST(ToolStreams, AClosedOrFullStandardOutputFailsTheCommand) {
  SmallFault f;
  struct {
    std::string script, err;
  } cases[] = {
      {"exec '" + tool + "' info small.srf >&-", "slipvel-fault: standard output: write failed: Bad file descriptor\n"},
      {"exec '" + tool + "' info small.srf >/dev/full", full},
      {"exec '" + tool + "' -o out.srf small.toml >/dev/full", full},
      {"exec '" + tool + "' --help >/dev/full", full},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Ended r = f.shell(c.script);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(ToolStreams, APlotOnAFullStandardOutputFails) {
  if (system("command -v gnuplot >/dev/null") != 0) GTEST_SKIP() << "gnuplot is not installed (gnuplot-nox)";
  SmallFault f;
  Ended r = f.shell("exec '" + tool + "' plot small.srf >/dev/full");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, full);
}

// A reader that has gone before the first write: the write fails with EPIPE
// (the signal is ignored) and says so, where SIGPIPE ended the run silently.
TEST(ToolStreams, AReaderThatHasGoneIsReported) {
  SmallFault f;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int err = open(f.dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(err, 0);
  close(fds[0]);  // the reader is gone before the tool starts
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1), dup2(err, 2);
    if (chdir(f.dir.path.c_str()) != 0) _exit(126);
    execl(tool.c_str(), tool.c_str(), "info", "small.srf", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  close(err);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(f.dir.read("err"), "slipvel-fault: standard output: write failed: Broken pipe\n");
}

TEST(ToolStreams, EveryCommandAnswersHelp) {
  SmallFault f;
  struct {
    std::string args, first_line;
  } cases[] = {
      {"--help", "usage: slipvel-fault [-j N] [-o FILE.srf]"},
      {"-h", "usage: slipvel-fault [-j N] [-o FILE.srf]"},
      {"run --help", "usage: slipvel-fault [-j N] [-o FILE.srf]"},
      {"-j 2 --help", "usage: slipvel-fault [-j N] [-o FILE.srf]"},
      {"info --help", "usage: slipvel-fault info FILE.srf"},
      {"plot --help", "usage: slipvel-fault plot [--map] [-o PREFIX] FILE.srf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    Ended r = f.shell("exec '" + tool + "' " + c.args);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.substr(0, c.first_line.size()), c.first_line);
  }
  // The main usage names the commands, run first as the default.
  Ended r = f.shell("exec '" + tool + "' --help");
  EXPECT_NE(r.out.find("  run    (the default)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n  info "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n  plot "), std::string::npos) << r.out;
}

// "--" ends the options of every command: a description whose name starts
// with "-", given to the default command and to run.
TEST(ToolStreams, DoubleDashEndsTheOptions) {
  SmallFault f;
  for (std::string command : {"", "run "}) {
    Ended r = f.shell("cp small.toml ./-s.toml && exec '" + tool + "' " + command + "-o out.srf -- -s.toml");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(f.dir.read("out.srf") == fault_golden("small-2.0.srf"));
  }
}

}  // namespace
