#pragma once
// One pulse as the program computes it, for pulse, windows and pulses.
#include <string>

#include "pulse/answers.h"
#include "pulse/samples.h"

// The program's time grid, 0 to 10 s.
const Samples& time_grid();

struct PulseTimes {
  float td = 0, tr = 0, tb = 0;  // s
  bool converged = true;
};

// td, tr and the samples rate(1..nt_grid) of the answers; rate is untouched
// where the boundary search does not end.
PulseTimes compute_rate(const Answers& a, Samples& rate);

// The program's words where the search does not end.
std::string no_convergence(float td);

// The program's read-back of a value written in a fixed field w wide with d
// decimals: the float nearest to the field's text, read as list input. False
// where that text stops the program's run ("***", "nan", "inf"); `what`
// then says why as the program's report does.
bool read_back(float x, int w, int d, float& out, const char*& what);
