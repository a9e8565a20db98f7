#pragma once
// The numbers of the channels that the run uses; the failure report names
// a channel by its number.
enum : int {
  unit_error = 0,   // standard error
  unit_input = 5,   // standard input
  unit_output = 6,  // standard output
  unit_file = 10,   // one named file at a time
};
