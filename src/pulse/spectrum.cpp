// Direct Fourier integral of the slip velocity, one spectral line at a time.
#include "pulse/spectrum.h"

#include <cmath>

float line_om(int i) { return static_cast<float>(i * static_cast<double>(0.1f)); }

SpectrumRow spectrum_row(float om, float amp) {
  double a = amp;
  // 2 pi as the float nearest to it.
  return {static_cast<float>(om / static_cast<double>(6.2831855f)), static_cast<float>(a / om), amp,
          static_cast<float>(a * om)};
}

float modulus(float re, float im) {
  double l = std::fabs(static_cast<double>(re));
  double s = std::fabs(static_cast<double>(im));
  if (s > l) std::swap(l, s);
  if (s + l == l) return static_cast<float>(l);
  double q = s / l;
  return static_cast<float>(l * std::sqrt(1.0 + q * q));
}

float spectrum_reference(const Samples& rate, int nt, float dt, float om) {
  // 1. The integrand at time 0 enters as zero.
  float dv_re = 0, dv_im = 0, fv1_re = 0, fv1_im = 0;
  for (int j = 2; j <= nt; j++) {
    // 2. Phase of the rounded grid time, itself rounded before cos and sin.
    float time = static_cast<float>((j - 1) * static_cast<double>(dt));
    float theta = static_cast<float>(static_cast<double>(om) * time);
    float ex_re = static_cast<float>(std::cos(static_cast<double>(theta)));
    float ex_im = static_cast<float>(std::sin(static_cast<double>(theta)));
    // 3. Integrand and trapezoidal step, part by part.
    double r = rate(j);
    float fv2_re = static_cast<float>(r * ex_re);
    float fv2_im = static_cast<float>(r * ex_im);
    dv_re = static_cast<float>((static_cast<double>(fv1_re) + fv2_re) * dt / 2 + dv_re);
    dv_im = static_cast<float>((static_cast<double>(fv1_im) + fv2_im) * dt / 2 + dv_im);
    fv1_re = fv2_re;
    fv1_im = fv2_im;
  }
  return modulus(dv_re, dv_im);
}
