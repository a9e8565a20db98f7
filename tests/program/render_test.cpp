// The texts of reals against the C library's formatted print, character for
// character, on a few million float bit patterns from every class where a
// digit layout can go wrong; and the exact decimal rounding beneath them.
// (tools/render_check runs the same comparison over all 2^32 patterns.)
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "support/printf_reference.h"
#include "records/decimal_digits.h"
#include "records/fixed_format.h"
#include "records/free_format.h"

namespace {

void add_both_signs(std::vector<uint32_t>& v, uint32_t bits) {
  v.push_back(bits & 0x7fffffff);
  v.push_back(bits | 0x80000000);
}

void add_float(std::vector<uint32_t>& v, float x) { add_both_signs(v, std::bit_cast<uint32_t>(x)); }

// `count` neighbours on either side of the float nearest to x.
void add_around(std::vector<uint32_t>& v, double x, int count) {
  if (!(x > 0) || x > std::numeric_limits<float>::max()) return;
  uint32_t mid = std::bit_cast<uint32_t>(static_cast<float>(x));
  for (int k = -count; k <= count; k++) {
    int64_t b = static_cast<int64_t>(mid) + k;
    if (b >= 0 && b < 0x7f800000) add_both_signs(v, static_cast<uint32_t>(b));
  }
}

std::vector<uint32_t> make_patterns() {
  std::vector<uint32_t> v;
  // 1. A sweep of the whole pattern space with a prime stride: every
  //    exponent, both signs, ordinary mantissas.
  for (uint64_t b = 0; b <= 0xffffffffu; b += 4099) v.push_back(static_cast<uint32_t>(b));
  // 2. Zero, the smallest and the largest subnormals, the first normals
  //    (no hidden bit, the exact digits from the fallback conversion).
  for (uint32_t b = 0; b < 4096; b++) add_both_signs(v, b);
  for (uint32_t b = 0x007ff000; b < 0x00801000; b++) add_both_signs(v, b);
  // 3. Every power of two: the first power of ten of the digit search.
  for (int e = -149; e <= 127; e++) add_float(v, std::ldexp(1.0f, e));
  // 4. Exact ties at the last kept decimal, odd multiples of 2^-(d+1) for
  //    d decimals: 0.125 to 2 decimals is 0.12, 0.375 is 0.38.
  for (int d : {2, 3, 4, 5})
    for (uint32_t odd = 1; odd < 200000; odd += 2) add_float(v, std::ldexp(static_cast<float>(odd), -(d + 1)));
  // 5. Exact ties at the fifth significant digit: (q + 1/2) * 10 and * 100
  //    for five-digit q, such as 100005 (to 0.10000E+06, the even side).
  for (uint32_t q = 10000; q < 100000; q++) {
    add_float(v, static_cast<float>((2 * q + 1) * 5));
    add_float(v, static_cast<float>((2 * q + 1) * 50));
  }
  // 6. Carries into a new digit and overflow to asterisks: neighbours of
  //    each power of ten and of the points where 2, 3, 4 or 5 decimals, or
  //    5 or 9 significant digits, round up to it.
  for (int p = -45; p <= 39; p++) {
    double ten = std::pow(10.0, p);
    for (double below : {0.0, 0.005, 0.0005, 0.00005, 0.000005, ten * 5e-6, ten * 5e-10})
      add_around(v, ten - below, 200);
  }
  // 7. Infinities and not-a-numbers, quiet and signalling, with payloads.
  for (uint32_t b : {0x7f800000u, 0x7fc00000u, 0x7f800001u, 0x7fffffffu, 0x7fa5a5a5u})
    add_both_signs(v, b);
  return v;
}

const std::vector<uint32_t>& patterns() {
  static const std::vector<uint32_t> v = make_patterns();
  return v;
}

// Runs `same` over every pattern; shows the first few differences.
template <class Same>
void over_patterns(const char* kind, Same same) {
  int unequal = 0;
  for (uint32_t bits : patterns()) {
    std::string got, want;
    if (same(std::bit_cast<float>(bits), got, want)) continue;
    if (++unequal <= 5) ADD_FAILURE() << kind << " " << std::hex << bits << ": [" << got << "] library [" << want << "]";
  }
  EXPECT_EQ(unequal, 0) << kind << " of " << patterns().size() << " patterns";
}

void fixed_point_kind(int w, int d) {
  over_patterns("fixed point", [&](float x, std::string& got, std::string& want) {
    got = fixed_point_field(x, w, d);
    want = printf_reference::fixed_point_field(x, w, d);
    return got == want;
  });
}

// The fields of the four files: time, frequency, summary, every history.
TEST(RenderSampled, FixedPoint8_2) { fixed_point_kind(8, 2); }
TEST(RenderSampled, FixedPoint8_4) { fixed_point_kind(8, 4); }
TEST(RenderSampled, FixedPoint15_5) { fixed_point_kind(15, 5); }
TEST(RenderSampled, FixedPoint5_3) { fixed_point_kind(5, 3); }

// The amplitude spectra.
TEST(RenderSampled, Exponent15_5) {
  over_patterns("exponent", [](float x, std::string& got, std::string& want) {
    got = exponent_field(x, 15, 5);
    want = printf_reference::exponent_field(x, 15, 5);
    return got == want;
  });
}

// Echoes, progress records and the window records of parameter.csv.
TEST(RenderSampled, FreeFormatItem) {
  over_patterns("real item", [](float x, std::string& got, std::string& want) {
    char out[32];
    got.assign(out, render_real(out, x));
    want = printf_reference::real_item(x);
    return got == want;
  });
}

// round(|x| * 10^k): exact ties go to the even neighbour, and what does not
// fit is refused rather than wrapped.
TEST(DecimalDigits, ScaledInteger) {
  const struct {
    float x;
    int k;
    bool fits;
    uint64_t q;
  } rows[] = {
      {0.125f, 2, true, 12},          // 12.5: down to even
      {0.375f, 2, true, 38},          // 37.5: up to even
      {2.5f, 0, true, 2},             // ties also without scaling
      {-3.5f, 0, true, 4},            // the magnitude, never the sign
      {0.1f, 9, true, 100000001},     // 0.100000001490116..: the stored value
      {1e-40f, 44, true, 10000},      // 9999.946..: a subnormal, no hidden bit
      {1.4e-45f, 44, true, 0},        // 0.1401..: the smallest subnormal
      {100005.0f, -1, true, 10000},   // 10000.5: a tie on division, even
      {100015.0f, -1, true, 10002},   // 10001.5: up to even
      {3.4e38f, -30, true, 339999995},  // 339999995.2..: a denominator 10^30
      {1e20f, 0, false, 0},           // 2^64 or more
      {1.0f, 45, false, 0},           // 5^45 beyond the numerator's reach
      {0.0f, 5, true, 0},
  };
  for (const auto& r : rows) {
    uint64_t q = 0;
    ASSERT_EQ(scaled_integer(r.x, r.k, q), r.fits) << r.x << " " << r.k;
    if (r.fits) {
      EXPECT_EQ(q, r.q) << r.x << " " << r.k;
    }
  }
}

// Leading zeros up to a minimum count, and every digit of the widest value.
TEST(DecimalDigits, WriteDigits) {
  const struct {
    uint64_t q;
    int min;
    const char* text;
  } rows[] = {
      {0, 1, "0"},
      {7, 3, "007"},                  // 0.07 to 2 decimals needs 0, 0, 7
      {1000, 1, "1000"},              // zeros inside a pair
      {99, 1, "99"},
      {100, 1, "100"},                // a digit count just past a power of ten
      {18446744073709551615u, 1, "18446744073709551615"},
  };
  for (const auto& r : rows) {
    char out[32];
    EXPECT_EQ(std::string(out, write_digits(out, r.q, r.min)), r.text);
  }
}

}  // namespace
