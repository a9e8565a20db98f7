#pragma once
// Runs slipvel-fault as a user runs it from a shell in a folder, and the
// facts that its tests compare.
#include <string>
#include <vector>

#include "support/batch_support.h"
#include "support/run_program.h"
#include "srf/srf_file.h"

struct FaultRun {
  std::vector<std::string> args;
  bool as_nobody = false;     // permission bits stop root, not nobody
  long file_size_limit = -1;  // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored: a full disk
  int bound_s = 120;
};

// Runs the built slipvel-fault with `run.args` in `dir`; its standard output
// and error are kept outside `dir`, so the folder holds only what it wrote.
Ended run_fault(const std::string& dir, const FaultRun& run);
inline Ended run_fault(const std::string& dir, const std::vector<std::string>& args) {
  return run_fault(dir, FaultRun{args});
}

// A test data file of tests/fault/data.
std::string fault_data(const std::string& name);
// The small fault's description (tests/fault/data/small.toml) with the
// first `from` replaced by `to` (`from` must be there).
std::string small_fault_with(const std::string& from, const std::string& to);

// The header and the points of an SRF file, in order.
struct SrfPoints : SrfVisitor {
  SrfHeader head;
  std::vector<SrfPoint> points;
  void header(const SrfHeader& h) override { head = h; }
  void point(const SrfPoint& p) override { points.push_back(p); }
};
SrfPoints read_points(const std::string& path);
// A golden file of the fault tool under tests/golden/fault.
std::string fault_golden(const std::string& name);

// The names in a folder, sorted, with each file's bytes: a folder is left
// untouched when this is the same before and after.
std::string folder_state(const std::string& dir);

// Runs slipvel-fault with `args` in `dir` and expects the refusal of a bad
// input: exit status 2, "slipvel-fault: " + `message` as the one line on
// standard error, and the folder as it was.
void expect_refused(const std::string& dir, const std::vector<std::string>& args, const std::string& message);

// The shell command line of the built slipvel-fault (for start_command).
std::vector<std::string> fault_command(const std::string& dir, const FaultRun& run);
