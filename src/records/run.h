#pragma once
// Start and end of the run around the driver.

// Holds closed standard streams, masks floating-point traps, takes the end
// signals, connects the console channels and registers the closing of all
// channels at exit.
void start_run();

// The end of a complete run: writes nothing, exit status 0.
[[noreturn]] void stop_run();

// Ends the run early with `status`: the files and standard output are closed
// as at a normal end, then `line` goes to standard error.
[[noreturn]] void quit_run(int status, const char* line);

