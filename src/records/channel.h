#pragma once
// The channels on which records travel: the three console channels and the
// single file channel that holds one named file at a time. A failure of any
// operation here ends the run with the failure report, an end signal seen
// here ends it by that signal.
#include <cstddef>

#include "records/units.h"

// Connects the file channel to `name`; status is "unknown" or "old".
void open_file_channel(const char* name, const char* status);

// Disconnects the file channel, keeping the file; a file being written ends
// after its last record, since writing it started by cutting it there.
void close_file_channel();

// Makes the channel writing; `context` names the statement kind on failure.
void switch_to_writing(int unit, const char* context);
// Hands one record and its line end to the channel; then, at this record
// boundary, an end signal that came ends the run.
void write_record(int unit, const char* text, size_t len);
// Hands standard output's records over before an answer is awaited.
void flush_output();
// Next character, a carriage return before a line feed dropped; -1 at end.
int read_char(int unit);
void unread_char(int unit, int c);
// Ends the run if an end signal came (a record statement begins).
void end_if_signalled();

// Closes every connected channel, its records handed over first, reporting
// failures (process exit).
void close_all_channels();
