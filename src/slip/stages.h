#pragma once
#include "slip/samples.h"

// Writes slip_t.csv: time, slip (trapezoidal), velocity, acceleration
// (backward difference) for samples 1..nt.
void write_slip_t(int nt, float dt, const Samples& tm, const Samples& rate);

// Writes slip_a.csv, the amplitude spectra of slip, velocity and
// acceleration, with one progress record per line on standard output.
void write_slip_a(int nt, float dt, const Samples& rate);
