#pragma once
#include "pulse/samples.h"

constexpr int nline = 2512;  // spectral lines, om = 0.1 .. 251.2 rad/s

// Angular frequency of line i: i * 0.1f rounded to single precision.
float line_om(int i);

// |re + i im| in a form that cannot overflow: L * sqrt(1 + (S/L)^2) with L
// the larger magnitude, or L alone when S is negligible beside it.
float modulus(float re, float im);

// Amplitude A of the Fourier integral of rate(2..nt) e^{+i om t} by the
// trapezoidal rule, every step rounded as stored in single precision.
// The plain loop: the reference that any faster path must match bit for bit.
float spectrum_reference(const Samples& rate, int nt, float dt, float om);

// One line of the three spectra: its frequency (Hz) and the amplitudes of
// slip (A / om), velocity (A) and acceleration (A * om), each rounded once.
struct SpectrumRow {
  float freq, dis, vel, acc;
};
SpectrumRow spectrum_row(float om, float amp);
