// The SRF writer's sample texts: %13.5e exactly as printf writes them, and
// the value each reads back as exactly as from_chars reads it.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "srf/srf_write.h"

namespace {

// Samples as the tool writes them: a float pulse value times 100, over every
// binade a pulse reaches and beyond the exponents of the integer path.
TEST(SrfWrite, PrintedValueIsFromCharsAndTheTextIsPrintfs) {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> exponent(-44, 36);  // float's range, times 100
  for (int n = 0; n < 200000; n++) {
    float rate = static_cast<float>((n % 2 ? -1 : 1) * std::pow(10.0, exponent(rng)));
    double x = static_cast<double>(rate) * 100;
    char ours[32], theirs[32];
    auto r = std::to_chars(ours, ours + sizeof ours, x, std::chars_format::scientific, 5);
    size_t len = static_cast<size_t>(r.ptr - ours);
    std::snprintf(theirs, sizeof theirs, "%.5e", x);
    ASSERT_EQ(std::string(ours, len), theirs) << x;
    double expected = 0;
    std::from_chars(ours, r.ptr, expected);
    ASSERT_EQ(printed_value(ours, len), expected) << theirs;
  }
  // Zeros keep their sign; the extremes of the exponent take from_chars.
  for (const char* t : {"0.00000e+00", "-0.00000e+00", "9.99999e+22", "1.00000e-30", "-4.94066e-324", "inf", "-nan"}) {
    double expected = 0;
    std::from_chars(t, t + std::strlen(t), expected);
    double got = printed_value(t, std::strlen(t));
    EXPECT_EQ(std::signbit(got), std::signbit(expected)) << t;
    if (!std::isnan(expected)) EXPECT_EQ(got, expected) << t;
    else EXPECT_TRUE(std::isnan(got)) << t;
  }
}

}  // namespace
