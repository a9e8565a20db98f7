#pragma once
// The spectral sums of several lines at once, on the vector paths.
#include "pulse/samples.h"
#include "pulse/sincos_phases.h"

// A for the n lines om[0..n-1], identical bit for bit to spectrum_reference.
void spectrum_lines(const Samples& rate, int nt, float dt, const float* om,
                    int n, float* amp);

// spectrum_lines on one path; returns how many (line, sample) phases were
// recomputed with std::cos/std::sin.
long spectrum_lines_on(Isa isa, const Samples& rate, int nt, float dt,
                       const float* om, int n, float* amp);
