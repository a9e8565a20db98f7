#pragma once
// Start and end of the run around the driver.

// Masks floating-point traps, installs the signal handlers, connects the
// console channels and registers the closing of all channels at exit.
void start_run(int argc, char** argv);

// The end of a complete run: writes nothing, exit status 0.
[[noreturn]] void stop_run();
