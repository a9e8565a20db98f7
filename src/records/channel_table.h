#pragma once
// Inside the record layer: the channel table and the state the failure
// report reads. Record statements (free-format and fixed-field) use it.
#include <csignal>
#include <string>

struct Channel {
  bool connected = false;
  int fd = -1;
  std::string name;         // empty for the standard channels
  bool writable = false;
  bool writing = false;     // direction: writing, or not writing
  bool at_end = false;      // a read met the end of input
  bool seekable = false;
  bool each_record = false; // a console or pipe sees every record at once

  // Output: complete records not yet handed to the system. The signal
  // handlers write out exactly out_len bytes, so out_len only ever moves
  // from one record boundary to the next.
  char* out = nullptr;
  volatile sig_atomic_t out_len = 0;

  // Input: bytes read ahead, one character put back, end of input seen.
  char* in = nullptr;
  int in_pos = 0, in_len = 0;
  int back = -2;            // -2: nothing put back
  bool eof = false;
};

constexpr int channel_count = 100;
Channel& channel(int unit);

// The most recent record statement or open, for the failure report.
void note_statement(int unit, bool reading, const char* format);
void note_statement_done();  // a fixed-field statement completed

// Makes the channel writing; `context` names the statement kind on failure.
void switch_to_writing(int unit, const char* context);
// Hands one record and its line end to the channel.
void write_record(int unit, const char* text, size_t len);
// Next character, a carriage return before a line feed dropped; -1 at end.
int read_char(int unit);
void unread_char(int unit, int c);

// Writes text straight to standard error. Async-signal-safe.
void say_error(const char* text, size_t len);

void connect_standard_channels();
// Closes every connected channel, reporting failures (process exit).
void close_all_channels();
// Hands over complete records and cuts files, reporting nothing: the
// abnormal ends and the signal handlers. Async-signal-safe.
void rescue_all_channels();
