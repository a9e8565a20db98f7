#pragma once

// argv[0] is the command word; returns the exit status.
int fault_run_command(int argc, char** argv);
