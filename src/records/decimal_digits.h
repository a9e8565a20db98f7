#pragma once
// Correctly rounded decimal digits of a single-precision magnitude, by exact
// integer arithmetic: a float is m * 2^e with m below 2^24, so |x| * 10^k is
// m * 5^k * 2^(e+k), a quotient of integers that fit 128 bits over the range
// handled here. Rounding is to nearest, an exact tie to the even neighbour,
// as the C library's conversions round.
#include <cstdint>

// round(|x| * 10^k) for finite x; false when it is beyond reach here
// (k above 44 or below -55, or a result of 2^64 or more).
bool scaled_integer(float x, int k, uint64_t& q);

// The n most significant digits of a finite nonzero |x| (1 <= n <= 19):
// q in [10^(n-1), 10^n), and the power of ten of q's first digit. A value
// that rounds up to 10^n moves to the next power: 99999.6 to 5 digits is
// 10000 at power 5. False when scaled_integer is.
struct Significant {
  uint64_t q;
  int exp10;
};
bool significant_digits(float x, int n, Significant& s);

// The decimal digits of q, at least `min` of them (zeros in front);
// returns how many were written.
int write_digits(char* out, uint64_t q, int min);
