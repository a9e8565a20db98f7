#pragma once
#include "slip/samples.h"

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

// The five triangular time windows, triangle k at index k - 1.
struct Windows {
  float x2[5] = {};  // peak times
  float x3[5] = {};  // end times
  float y2[5] = {};  // peak heights
  float y3 = 0;      // end height of the falling edge being evaluated
  float area[5] = {};
  float sum_area = 0;
};

// Reads slip_t.csv back into tm and rate and picks the characteristic samples.
void read_slip_t(int nt, float td, float tr, float ts, Samples& tm,
                 Samples& rate, Picks& picks);

// Builds the five triangles, writes slip_vel-5triangle.csv, computes the areas.
void write_slip_vel_5triangle(int nt, float vm, const Samples& tm,
                              const Samples& rate, const Picks& picks,
                              Samples tri[5], Windows& win);

// Writes parameter.csv: parameters, picked values and the window table.
void write_parameter(float td, float vm, float tr, float ts, float slip,
                     const Picks& picks, const Windows& win);
