#include "support/tool_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

std::vector<std::string> fault_command(const std::string& dir, const FaultRun& run) {
  // The shell changes folder, ignores SIGXFSZ (so a write past the limit
  // fails with EFBIG, as on a full disk, instead of killing) and execs.
  std::vector<std::string> argv = {"/bin/sh", "-c", "cd \"$1\" || exit 126; shift; trap '' XFSZ; exec \"$@\"", "sh", dir};
  if (run.as_nobody)
    for (const char* a : {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"}) argv.push_back(a);
  if (run.file_size_limit >= 0) {
    argv.push_back("prlimit");
    argv.push_back("--fsize=" + std::to_string(run.file_size_limit));
  }
  argv.push_back(SLIPVEL_FAULT_BIN);
  argv.insert(argv.end(), run.args.begin(), run.args.end());
  return argv;
}

Ended run_fault(const std::string& dir, const FaultRun& run) {
  TempDir scratch;
  return run_command(fault_command(dir, run), {}, scratch, run.bound_s);
}

std::string fault_data(const std::string& name) {
  return read_file(std::string(SLIPVEL_SOURCE_DIR) + "/tests/fault/data/" + name);
}

std::string small_fault_with(const std::string& from, const std::string& to) {
  std::string text = fault_data("small.toml");
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

SrfPoints read_points(const std::string& path) {
  SrfPoints p;
  read_srf(path, p);
  return p;
}

std::string fault_golden(const std::string& name) {
  return read_file(std::string(SLIPVEL_SOURCE_DIR) + "/tests/golden/fault/" + name);
}

std::string folder_state(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  std::string state;
  for (const auto& n : names) {
    std::string path = dir + "/" + n;
    state += n + "\n" + (std::filesystem::is_regular_file(path) ? read_file(path) : std::string("<not a file>")) + "\n";
  }
  return state;
}

void expect_refused(const std::string& dir, const std::vector<std::string>& args, const std::string& message) {
  std::string before = folder_state(dir);
  Ended r = run_fault(dir, args);
  EXPECT_EQ(r.code, 2);
  EXPECT_EQ(r.err, "slipvel-fault: " + message + "\n");
  EXPECT_EQ(folder_state(dir), before);
}
