#pragma once
#include "pulse/samples.h"

// Grid samples picked nearest to the characteristic times, with the
// velocities read with them (none is kept at td: vm stands there).
struct Picks {
  float td2 = 0;
  float tr2 = 0, v_tr = 0;
  float ts2 = 0, v_ts = 0;
  float tr2_2 = 0, v_tr_2 = 0;  // tr / 2
  float tr2_3 = 0, v_tr_3 = 0;  // tr / 4
  float tr2_4 = 0, v_tr_4 = 0;  // tr / 8
};

// Reads slip_t.csv back into tm and rate and picks the characteristic samples.
void read_slip_t(int nt, float td, float tr, float ts, Samples& tm,
                 Samples& rate, Picks& picks);
