#pragma once
// The two early ends of the run, failure and end signal, and the statement
// that the failure report tells of.
#include "records/failure.h"

// Writes the failure report on standard error and ends the run abnormally.
[[noreturn]] void fail_run(int errnum, const char* context);

// Ends the run by the end signal `sig`, as ordinary code of the main line:
// what the readers take within the patience is handed over, then the
// signal's message; status 1 for an interrupt or termination request, the
// abnormal end for a floating-point exception or abort signal.
[[noreturn]] void end_by_signal(int sig);

// The most recent record statement or open, for the failure report.
void note_statement(int unit, bool reading, const char* format);
void note_statement_done();  // a fixed-field statement completed

// For test harnesses only; the program never sets it. When set, fail_run
// first calls it with its own arguments, before anything is written, handed
// over or cut. A harness that feeds arbitrary input to the record statements
// throws out of the hook, so that a failure report is an outcome it can
// check rather than the end of its process; it then closes the file channel
// itself. A hook that returns lets the report and the abnormal end go on.
extern void (*failure_hook)(int errnum, const char* context);
