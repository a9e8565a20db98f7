// The SRF writer: a point's and a header's exact text, SLIP1 as the sum of
// the samples as printed, and the value each sample text reads back as.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

#include "srf/srf_write.h"

namespace {

SrfPoint example_point(bool medium) {
  SrfPoint p;
  p.lon = -118.5, p.lat = 34.25, p.dep = 5.5, p.stk = 122, p.dip = 40, p.area = 1e10, p.tinit = 5.7;
  p.dt = 0.01, p.has_medium = medium, p.vs = 3.5e5, p.den = 2.7, p.rake = 105;
  p.slip1 = 99, p.sr1 = {1, 2};  // not read: SLIP1 and the samples come from the rates
  return p;
}

// Rates exact in binary: 25, 50, 12.5, 100, 75, 6.25, 37.5 cm/s, whose sum
// 306.25 times DT = 0.01 s is 3.0625 cm.
const float rates[] = {0.25f, 0.5f, 0.125f, 1.0f, 0.75f, 0.0625f, 0.375f};
const char* slip_and_samples =
    " 105     3.0625      7     0.0000      0     0.0000      0\n"
    "  2.50000e+01  5.00000e+01  1.25000e+01  1.00000e+02  7.50000e+01  6.25000e+00\n"
    "  3.75000e+01\n";

TEST(SrfWrite, APointsTextInEachVersion) {
  struct {
    bool medium;
    const char* first_line;
  } cases[] = {
      {true, " -118.500000   34.250000  5.50000e+00  122   40  1.00000e+10  5.700000e+00  1.00000e-02"
             "   3.50000e+05   2.70000e+00\n"},
      {false, " -118.500000   34.250000  5.50000e+00  122   40  1.00000e+10     5.7000  1.00000e-02\n"},
  };
  for (const auto& c : cases) {
    std::string out = "before\n";
    double slip1 = append_srf_point(out, example_point(c.medium), rates, 7);
    EXPECT_EQ(slip1, 3.0625);
    EXPECT_EQ(out, std::string("before\n") + c.first_line + slip_and_samples);
  }
  // No samples: NT1 = 0, no sample line, SLIP1 = 0.
  std::string out;
  EXPECT_EQ(append_srf_point(out, example_point(false), rates, 0), 0.0);
  EXPECT_EQ(out.substr(out.find('\n') + 1), " 105     0.0000      0     0.0000      0     0.0000      0\n");
}

TEST(SrfWrite, HeadersText) {
  SrfPlane p;
  p.elon = -118.515, p.elat = 34.344, p.nstk = 20, p.ndip = 12, p.len = 20, p.wid = 12;
  p.stk = 122, p.dip = 40, p.dtop = 5, p.shyp = 4, p.dhyp = 9;
  EXPECT_EQ(srf_header({"2.0", {p}}, 240),
            "2.0\nPLANE 1\n -118.515000   34.344000    20    12    20.0000    12.0000\n"
            " 122   40     5.0000     4.0000     9.0000\nPOINTS 240\n");
  EXPECT_EQ(srf_header({"1.0", {}}, 0), "1.0\nPOINTS 0\n");
}

// Samples as the tool writes them: a float pulse value times 100, over every
// binade a pulse reaches and beyond the exponents of the integer path; each
// text reads back as from_chars reads it.
TEST(SrfWrite, PrintedValueIsFromChars) {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> exponent(-44, 36);  // float's range, times 100
  for (int n = 0; n < 200000; n++) {
    float rate = static_cast<float>((n % 2 ? -1 : 1) * std::pow(10.0, exponent(rng)));
    char text[32];
    auto r = std::to_chars(text, text + sizeof text, static_cast<double>(rate) * 100, std::chars_format::scientific, 5);
    size_t len = static_cast<size_t>(r.ptr - text);
    double expected = 0;
    std::from_chars(text, r.ptr, expected);
    ASSERT_EQ(printed_value(text, len), expected) << std::string(text, len);
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
