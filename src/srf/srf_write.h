#pragma once
// SRF text as the common writers lay it out: blank-separated fields of fixed
// widths, slip-rate samples six to a line, each %13.5e with no separator.
#include <string>
#include <vector>

#include "srf/srf_file.h"

enum class SrfVersion { v1, v2 };

// Version line, the one PLANE segment and "POINTS np".
std::string srf_header(SrfVersion v, const SrfPlane& p, long np);
// The same with "PLANE n" and a pair of lines for each segment.
std::string srf_header(SrfVersion v, const std::vector<SrfPlane>& planes, long np);

// A point's fields besides its samples.
struct SrfPointFields {
  double lon = 0, lat = 0, dep = 0, stk = 0, dip = 0;
  double area = 0, tinit = 0, dt = 0, vs = 0, den = 0;  // cm^2, s, s, cm/s, g/cm^3
  double rake = 0;
};

// Appends one point: its two lines, then the nt1 samples `rate[0 .. nt1-1]` (m/s)
// as slip rates in cm/s. Returns SLIP1, the slip in cm that a reader finds by
// summing the samples as printed: DT * sum(SR1).
double append_srf_point(std::string& out, SrfVersion v, const SrfPointFields& f, const float* rate, int nt1);

// The double nearest the n characters of a %.5e text (d.ddddde[+-]XX, an
// optional '-' first), as from_chars gives it: exact integer arithmetic for
// the common exponents, from_chars itself for the rest.
double printed_value(const char* text, size_t n);
