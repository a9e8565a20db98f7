#pragma once
// SRF text as the common writers lay it out: blank-separated fields of fixed
// widths, slip-rate samples six to a line, each %13.5e with no separator.
#include <string>

#include "srf/srf_file.h"

// The version line (the header's "1.0" or "2.0"), the PLANE block with the
// header's segments (none where it has none) and "POINTS np".
std::string srf_header(const SrfHeader& h, long np);

// Appends one point: its two lines, then the nt1 samples `rate[0 .. nt1-1]`
// (m/s) as slip rates in cm/s. The point gives its position, orientation,
// AREA, TINIT, DT and RAKE, and VS and DEN where it has them (has_medium: a
// version 2.0 point; without, a version 1.0 point); its slips and samples
// are not read. Returns SLIP1, the slip in cm that a reader finds by
// summing the samples as printed: DT * sum(SR1); SLIP2 and SLIP3 are 0.
double append_srf_point(std::string& out, const SrfPoint& p, const float* rate, int nt1);

// The decimals an angle (degrees) is written with: none for a whole number
// of degrees (the common writers' %4.0f), else the fewest, up to 4, that read
// back as the same double (4: within 5e-5 degrees of it), so that a reader
// builds the moment tensor from the description's angles.
int angle_decimals(double degrees);

// The double nearest the n characters of a %.5e text (d.ddddde[+-]XX, an
// optional '-' first), as from_chars gives it: exact integer arithmetic for
// the common exponents, from_chars itself for the rest.
double printed_value(const char* text, size_t n);
