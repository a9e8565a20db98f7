#pragma once
#include "pulse/samples.h"

// Writes slip_t.csv: time, slip (trapezoidal), velocity, acceleration
// (backward difference) for samples 1..nt.
void write_slip_t(int nt, float dt, const Samples& tm, const Samples& rate);
