#pragma once
// Why the fault tool stops: one line for the user and the exit status.
#include <stdexcept>
#include <string>

// Exit statuses of slipvel-fault.
enum : int {
  status_refused = 2,  // a description, table, SRF file or command line refused
  status_failed = 1,   // a file could not be written or read: the system's reason
};

// Thrown where a run cannot go on; main prints "slipvel-fault: " + what()
// on standard error and ends with `status`. Nothing has been written under a
// target's name by then.
struct Refusal : std::runtime_error {
  int status;
  explicit Refusal(const std::string& line, int status = status_refused)
      : std::runtime_error(line), status(status) {}
};
