#include "fault/srf_info.h"

#include "fault/refusal.h"

int srf_info_command(int, char**) { throw Refusal("not built yet"); }
