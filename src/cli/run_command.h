#pragma once
// slipvel-fault [run] [options] DESCRIPTION.toml: the command line of the
// fault run.

// The synopsis and options of the run, for the main usage too.
extern const char* const run_synopsis;
extern const char* const run_details;

// argv[0] is the command word (the program's name where "run" is not
// given); returns the exit status.
int fault_run_command(int argc, char** argv);
