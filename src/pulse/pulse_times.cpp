#include "pulse/pulse_times.h"

void fill_time_grid(Samples& tm, int nt) { fill_time_grid(tm.v, nt); }

void fill_time_grid(float* tm, int nt) {
  for (int i = 1; i <= nt; i++) tm[i - 1] = static_cast<float>((i - 1) * static_cast<double>(grid_dt));
}

float peak_time(float fmax) { return static_cast<float>(1 / (static_cast<double>(fmax) * 3.1415927f)); }

float decay_end(float ts) { return static_cast<float>((static_cast<double>(ts) + ts) / 3); }
