#pragma once
#include "pulse/samples.h"

// Writes slip_a.csv, the amplitude spectra of slip, velocity and
// acceleration, with one progress record per line on standard output.
void write_slip_a(int nt, float dt, const Samples& rate);
