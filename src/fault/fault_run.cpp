#include "fault/fault_run.h"

#include "fault/refusal.h"

int fault_run_command(int, char**) { throw Refusal("not built yet"); }
