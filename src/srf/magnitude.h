#pragma once
// Moment magnitude and seismic moment (N m): Mw = 2/3 (log10 M0 - 9.1).

double moment_magnitude(double m0);
double seismic_moment(double mw);
