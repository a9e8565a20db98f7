#pragma once
// Inside the record layer: the channel table, the hand-over of records to
// the system, and the reads. Record statements (free-format and fixed-field)
// use it.
#include <csignal>
#include <cstddef>
#include <string>

#include "records/channel.h"
#include "records/fault.h"

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
  bool each_record = false; // a console sees every record at once
  int nowait_fd = -1;       // the same pipe, FIFO or console, never waiting

  // Output: out[0, out_len) holds complete records, of which out[0,
  // out_done) have been handed to the system. The main line moves out_done
  // only with the end signals held off, around a write that cannot wait,
  // so a handler always resumes exactly where the hand-over stands.
  char* out = nullptr;
  volatile sig_atomic_t out_len = 0;
  volatile sig_atomic_t out_done = 0;

  // Input: bytes read ahead, one character put back, end of input seen.
  char* in = nullptr;
  int in_pos = 0, in_len = 0;
  int back = -2;            // -2: nothing put back
  bool eof = false;
  Fault fault;              // why the last read_char returned read_failed
};

constexpr int channel_count = 100;
Channel& channel(int unit);

// Channel operations that hand a failure back instead of ending the run.
Fault open_channel(const char* name, const char* status);
Fault close_channel(int unit);
Fault start_writing(int unit, const char* context);
Fault hand_record(int unit, const char* text, size_t len);
Fault flush_channel(int unit);
constexpr int read_failed = -2;
int next_char(int unit);  // a character, -1 at the end, or read_failed

// The same operations that end the run with the failure report instead.
// Makes the channel writing; `context` names the statement kind on failure.
void switch_to_writing(int unit, const char* context);
// Hands one record and its line end to the channel.
void write_record(int unit, const char* text, size_t len);
// Hands standard output's records over before an answer is awaited.
void flush_output();
// Next character, a carriage return before a line feed dropped; -1 at end.
int read_char(int unit);
void unread_char(int unit, int c);

void connect_standard_channels();
// Closes every connected channel, reporting failures (process exit).
void close_all_channels();

// How long an end waits in all for a reader that takes nothing: a signal's
// end must not be held back, a failure report may wait a little longer.
constexpr int signal_patience_ms = 250;
constexpr int report_patience_ms = 2000;

// The abnormal ends and the signal handlers. Async-signal-safe; none waits
// longer than `patience_ms` in all for a reader that takes nothing.
// Hands over complete records, reporting nothing.
void rescue_all_channels(int patience_ms);
// Writes text on standard error.
void say_error(const char* text, size_t len, int patience_ms);
