#pragma once
// The four answers of the program's dialogue that make one pulse.

struct Answers {
  float fmax = 0, slip = 0, vm = 0, ts = 0;  // Hz, m, m/s, s
};
