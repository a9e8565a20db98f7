// The plain spectrum loop alone, as a process: the example run's velocity
// history through spectrum_reference for all 2512 lines (2,512,000 library
// sin/cos pairs), nothing written but one line, so that the whole run can be
// timed against the loop a straightforward port would run.
#include <cstdio>

#include "pulse/spectrum.h"
#include "pulse/vslip.h"

int main() {
  const float dt = 0.01f;
  static Samples tm, rate;
  for (int i = 1; i <= nt_grid; i++) tm(i) = static_cast<float>((i - 1) * static_cast<double>(dt));
  // The example answers: fmax 6, slip 4.65, vm 4.32, ts 2.8.
  float td = static_cast<float>(1 / (6 * static_cast<double>(3.1415927f)));
  float tr = static_cast<float>((static_cast<double>(2.8f) + 2.8f) / 3);
  vslip(tm, rate, nt_grid, 4.65f, td, 4.32f, tr, 2.8f);
  // A sum of the amplitudes keeps the loop from being optimised away.
  double total = 0;
  for (int i = 1; i <= nline; i++) total += spectrum_reference(rate, nt_grid, dt, line_om(i));
  std::printf("%.9g\n", total);
}
