#pragma once
// A failed operation as the failure report tells it.

// Error numbers of the failure report besides the system's errno values.
// The run's own failures lie above every errno, so that a system error such
// as a full quota (122 on Linux) is always told in the system's words.
enum : int {
  err_eof = -1,
  err_own = 1 << 16,
  err_truncation = err_own + 111,  // "truncation failed in endfile"
  err_list_input = err_own + 112,  // "incomprehensible list input"
  err_no_space = err_own + 113,    // "out of free space"
  err_cant_write = err_own + 127,  // "can't write file"
  // Not a failure: an end signal came while the operation waited, and the
  // run ends by that signal instead of a report.
  err_end_signal = err_own + 1000,
};

// A failed channel operation: the error number and the context that the
// failure report shows.
struct Failure {
  int err = 0;
  const char* context = nullptr;
  explicit operator bool() const { return context != nullptr; }
};
