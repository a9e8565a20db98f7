#pragma once
// The tools' standard streams. A stream closed at start stays closed to
// writes: its descriptor is held (so that no file of the run becomes
// standard output) by a node that refuses them, so every write to it fails
// as a write to a closed stream does. A write to standard output that fails
// (a closed stream, a full disk, /dev/full, a reader that has gone) ends the
// run with status 1 and one line naming the stream and the system's reason.
#include <string>

// Holds closed descriptors 0-2 and ignores SIGPIPE, so that writing to a
// pipe whose reader has gone fails with EPIPE and is reported instead of
// ending the process without a word; called first in main.
void hold_standard_streams();

// Writes `text` to standard output and flushes it; a failure throws Refusal
// "standard output: write failed: REASON" (status 1).
void print_out(const std::string& text);
