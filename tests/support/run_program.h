#pragma once
// Starts built programs and waits for them, the one way the tests do; and
// runs slipvel in a directory with answers on standard input, collecting
// what it printed, how it ended and the files it left.
#include <sys/types.h>

#include <string>
#include <vector>

// How a program is started: argv[0] is its path.
struct Start {
  std::vector<std::string> argv;
  std::vector<std::string> env;  // "NAME=value", set on top of this environment
  std::string dir;               // working folder; empty: this process's
  int in = -1, out = -1, err = -1;  // its standard streams; -1: closed
  bool own_group = false;        // a process group of its own, as a shell job
  bool ignore_sigint = false;    // the interrupt signal ignored, as by `cmd &`
  bool block_end_signals = false;  // SIGINT, SIGTERM and SIGHUP blocked
  long file_size = -1;           // RLIMIT_FSIZE in bytes (SIGXFSZ left as it is)
  long data = -1;                // RLIMIT_DATA in bytes
  int uid = -1;                  // run as this user (and its group) when >= 0
  bool traced = false;           // stopped at its start for this process to trace
};

// Starts it; every other descriptor of this process is closed in the child,
// and the signals a test process may have changed are at their defaults.
pid_t start_program(const Start& s);
// Waits for it, killing it (its group, if it has one) after `timeout_s`;
// returns the wait status.
int wait_status(pid_t pid, int timeout_s, bool& timed_out);

struct RunOptions {
  std::string input;
  int uid = -1;               // run as this user (and its group) when >= 0
  bool ignore_sigint = false; // start with the interrupt signal ignored
  int signal = 0;             // sent once standard output holds `signal_after`
  std::string signal_after;
  int timeout_s = 120;        // a hung run is killed and reported as such
  bool hold_input = false;    // keep standard input open after `input`
  // Limits of the process: file size (the program itself ignores SIGXFSZ,
  // so that a write beyond the limit fails with EFBIG) and data (heap and
  // private mappings).
  long file_size = -1;
  long data = -1;
  bool traced = false;        // stopped at its start for this process to trace
  bool block_end_signals = false;  // started with its end signals blocked
};

struct RunResult {
  std::string out, err;
  bool exited = false;  // else killed by a signal
  int code = -1;        // exit status, or the signal number
  bool timed_out = false;
};

RunResult run_slipvel(const std::string& dir, const RunOptions& opt);
inline RunResult run_slipvel(const std::string& dir, const std::string& input) {
  RunOptions opt;
  opt.input = input;
  return run_slipvel(dir, opt);
}

// Options with one limit set, as in limited(&RunOptions::data, 8 << 20).
inline RunOptions limited(long RunOptions::*limit, long value) {
  RunOptions opt;
  opt.*limit = value;
  return opt;
}

// Starts the program in `dir` with standard input, output and error on the
// given descriptors (-1: that stream closed), as `opt` says (its input and
// signal fields are for run_slipvel).
pid_t start_slipvel(const std::string& dir, int in, int out, int err, const RunOptions& opt = {});
// Waits for a started run, killing it after `timeout_s`.
RunResult wait_for(pid_t pid, int timeout_s = 120);

// A fresh directory under /tmp, removed with everything in it at the end.
struct TempDir {
  std::string path;
  TempDir();
  ~TempDir();
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string read(const std::string& name) const;
  void write(const std::string& name, const std::string& text) const;
  bool exists(const std::string& name) const;
};

std::string read_file(const std::string& path);
// A file of the frozen contract under tests/golden/.
std::string golden(const std::string& name);
// Standard output of the example run up to the end of the record with `text`.
std::string example_out_through(const std::string& text);
int count_lines(const std::string& text);

// The example answers of the prompts.
inline const char* example_answers = "6\n4.65\n4.32\n2.8\n";

// How a command ended, its standard output and error kept in files.
struct Ended {
  std::string out, err;
  int code = -1;    // exit status, if it exited
  int signal = 0;   // the signal that ended it, if one did
  bool timed_out = false;
};

// Starts argv in a process group of its own (as a shell starts a job), with
// `env` entries ("NAME=value") set on top of this environment, standard input
// from /dev/null and standard output and error into files of `scratch`.
pid_t start_command(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const TempDir& scratch);
// Waits for it; past `bound_s` seconds its whole group is killed.
Ended finish_command(pid_t pid, const TempDir& scratch, int bound_s = 120);
Ended run_command(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const TempDir& scratch, int bound_s = 120);
// A shell command line run by sh in `scratch`, as a user types it.
Ended run_shell(const std::string& line, const TempDir& scratch, int bound_s = 120);
