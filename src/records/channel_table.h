#pragma once
// The channel table: what each channel holds, and the operations that
// connect and disconnect channels and switch them to writing. These hand a
// failure back as a Failure; channel.h turns it into the failure report.
#include <cstddef>
#include <string>

#include "records/failure.h"
#include "records/units.h"

struct Channel {
  bool connected = false;
  int fd = -1;
  std::string name;         // empty for the standard channels
  bool writable = false;
  bool writing = false;     // direction: writing, or not writing
  bool at_end = false;      // a read met the end of input
  bool seekable = false;
  bool regular = false;     // a regular file: it never waits for a reader
  bool socket = false;
  bool pipe = false;        // a pipe or FIFO
  bool write_end = false;   // open for writing (a held closed stream is not)
  bool each_record = false; // a console sees every record at once
  int nowait_fd = -1;       // the same pipe, FIFO or console, never waiting

  // Output: out[0, out_len) holds complete records, of which out[0,
  // out_done) have been handed to the system.
  char* out = nullptr;
  size_t out_len = 0, out_done = 0;

  // Input: bytes read ahead, one character put back, end of input seen.
  char* in = nullptr;
  int in_pos = 0, in_len = 0;
  int back = -2;            // -2: nothing put back
  bool eof = false;
  Failure failure;            // why the last read_char returned read_failed
};

constexpr int channel_count = 100;
// Bytes of records buffered per channel, and of input read ahead.
constexpr size_t buffer_size = 1 << 16;

Channel& channel(int unit);

Failure open_channel(const char* name, const char* status);
// Closes the channel's descriptor and forgets it; records still buffered
// are dropped, so a caller hands them over first (flush_channel).
Failure close_channel(int unit);
Failure start_writing(int unit, const char* context);

// A buffer of buffer_size bytes for `buf`, unless it has one.
Failure allocate(char*& buf);

// A second description of descriptor `fd`, opened for writing without
// waiting, or -1 (see channel_table.cpp).
int open_nowait(int fd);

void connect_standard_channels();
