#include "fault/fault_plot.h"

#include "fault/refusal.h"

int fault_plot_command(int, char**) { throw Refusal("not built yet"); }
