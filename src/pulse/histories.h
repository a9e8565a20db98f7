#pragma once
// The slip and acceleration histories of a slip-velocity pulse.
#include "pulse/samples.h"

// slip(i) by the trapezoidal rule and acc(i) by a backward difference of
// rate(1..nt), each rounded to single precision at every sample and the slip
// carried from sample to sample; sample 1 has no step behind it, so both
// are 0 there.
void slip_histories(int nt, float dt, const Samples& rate, Samples& slip, Samples& acc);
