#pragma once
// Shared by the fuzz targets: a failure report of the record layer becomes
// an exception that the target catches and checks, instead of the end of
// the fuzzing process.
#include <string>

struct RunFailure {
  int errnum;
  std::string context;
};

// Installs the failure hook that throws RunFailure out of fail_run.
void catch_failures();

// A failed read must be one of the reader's own outcomes: a malformed
// number, or the end of the input. Anything else is a finding.
void expect_read_failure(const RunFailure& f);

// Reports a broken property and aborts, which the fuzzer records as a crash.
[[noreturn]] void finding(const char* what, const std::string& detail = "");

// Makes a fresh private directory the working directory; it is removed with
// the named files in it when the process exits.
void enter_scratch_directory(const char* const* files);
