#pragma once
// The hand-over of records to the system: buffered per channel, handed
// over whole, and at an early end handed over as far as the readers take
// them without waiting past a patience.
#include <cstddef>

#include "records/failure.h"

// Appends one record and its line end to the channel's buffer, handing the
// buffer over when it is full or the channel is a console.
Failure hand_record(int unit, const char* text, size_t len);
// Hands over every buffered record, waiting for the reader as long as it
// takes; an end signal ends the wait (err_end_signal).
Failure flush_channel(int unit);

// How long an end waits in all for a reader that takes nothing: a signal's
// end must not be held back, a failure report may wait a little longer.
constexpr int signal_patience_ms = 250;
constexpr int report_patience_ms = 2000;

// The early ends. Neither waits longer than `patience_ms` in all for a
// reader that takes nothing, nor stops early for an end signal: the first
// end under way stands.
// Hands over complete records, reporting nothing.
void rescue_all_channels(int patience_ms);
// Writes text on standard error.
void say_error(const char* text, size_t len, int patience_ms);
