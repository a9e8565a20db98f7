#include "srf/magnitude.h"

#include <cmath>

double moment_magnitude(double m0) { return 2.0 / 3.0 * (std::log10(m0) - 9.1); }

double seismic_moment(double mw) { return std::pow(10.0, 1.5 * mw + 9.1); }

double shear_modulus(double vs_km_s, double density_g_cm3) {
  return (density_g_cm3 * 1e3) * (vs_km_s * 1e3) * (vs_km_s * 1e3);
}
