#pragma once
// The fixed time grid and the two times that the answers give the pulse,
// shared by the program and the fault tool so that a subfault's pulse is the
// program's, bit for bit.
#include "pulse/samples.h"

// Sample interval: the float nearest to 0.01 s.
constexpr float grid_dt = 0.01f;
// The same step as the decimal that files state (an SRF's DT) and that
// SLIP1 = DT * sum(SR1) takes: 0.01 s, of which grid_dt is the nearest float.
constexpr double grid_step = 0.01;

// tm(i) = (i - 1) * dt for i = 1 .. nt, each the exact product rounded once.
void fill_time_grid(Samples& tm, int nt);
// The same into tm[0 .. nt-1], for a grid of any length.
void fill_time_grid(float* tm, int nt);

// Time of the peak velocity, td = 1 / (pi * fmax), with pi as a float.
float peak_time(float fmax);

// End of the decay piece, tr = (ts + ts) / 3.
float decay_end(float ts);
