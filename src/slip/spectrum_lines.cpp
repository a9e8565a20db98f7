// Several spectral lines at once; each line keeps its own sum in time order.
#include "slip/spectrum.h"

void spectrum_lines(const Samples& rate, int nt, float dt, const float* om,
                    int n, float* amp) {
  for (int k = 0; k < n; k++) amp[k] = spectrum_reference(rate, nt, dt, om[k]);
}
