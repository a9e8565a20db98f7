#pragma once

// argv[0] is the command word; returns the exit status.
int fault_plot_command(int argc, char** argv);
