#pragma once
// The failure report that ends the run, and the statement it tells of.
#include "records/fault.h"

// Writes the failure report on standard error and ends the run abnormally.
[[noreturn]] void fail_run(int errnum, const char* context);

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
