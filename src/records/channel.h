#pragma once
// The channels on which records travel: the three console channels and the
// single file channel that holds one named file at a time.

enum : int {
  unit_error = 0,   // standard error
  unit_input = 5,   // standard input
  unit_output = 6,  // standard output
  unit_file = 10,   // one named file at a time
};

// Connects the file channel to `name`; status is "unknown" or "old".
void open_file_channel(const char* name, const char* status);

// Disconnects the file channel, keeping the file; a file being written is
// cut after its last record.
void close_file_channel();
