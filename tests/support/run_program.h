#pragma once
// Runs the built program in a directory with answers on standard input and
// collects what it printed, how it ended and the files it left.
#include <sys/types.h>

#include <string>

struct RunOptions {
  std::string input;
  int uid = -1;               // run as this user (and its group) when >= 0
  bool ignore_sigint = false; // start with the interrupt signal ignored
  int signal = 0;             // sent once standard output holds `signal_after`
  std::string signal_after;
  int timeout_s = 120;        // a hung run is killed and reported as such
  bool hold_input = false;    // keep standard input open after `input`
  // Limits of the process: file size (SIGXFSZ ignored, so that a write
  // beyond the limit fails with EFBIG) and data (heap and private mappings).
  long file_size = -1;
  long data = -1;
  bool traced = false;        // stopped at its start for this process to trace
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
