#pragma once
// Moment magnitude and seismic moment (N m): Mw = 2/3 (log10 M0 - 9.1).

double moment_magnitude(double m0);
double seismic_moment(double mw);

// The shear modulus (Pa) of a medium of shear-wave speed `vs_km_s` (km/s)
// and density `density_g_cm3` (g/cm^3): density * vs^2 in SI units. The
// moment of a slip u (m) over an area A (m^2) is mu * A * u.
double shear_modulus(double vs_km_s, double density_g_cm3);
