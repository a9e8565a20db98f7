#pragma once

// argv[0] is the command word; returns the exit status.
int srf_info_command(int argc, char** argv);
