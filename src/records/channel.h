#pragma once
// The channel table: numbered channels on which records travel, the single
// file channel, and the failure report that ends the run.

enum : int {
  unit_error = 0,   // standard error
  unit_input = 5,   // standard input
  unit_output = 6,  // standard output
  unit_file = 10,   // one named file at a time
};

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
};

// Connects the file channel to `name`; status is "unknown" or "old".
void open_file_channel(const char* name, const char* status);

// Disconnects the file channel, keeping the file; a file being written is
// cut after its last record.
void close_file_channel();

// Writes the failure report on standard error and ends the run abnormally.
[[noreturn]] void fail_run(int errnum, const char* context);

// For test harnesses only; the program never sets it. When set, fail_run
// first calls it with its own arguments, before anything is written, handed
// over or cut. A harness that feeds arbitrary input to the record statements
// throws out of the hook, so that a failure report is an outcome it can
// check rather than the end of its process; it then closes the file channel
// itself. A hook that returns lets the report and the abnormal end go on.
extern void (*failure_hook)(int errnum, const char* context);
