// Exact decimal rounding of floats. Written here rather than taken from
// <charconv> because the fields need only a handful of digits, which this
// gets with one or two 128-bit products where std::to_chars with a
// precision walks its general tables: a whole field, layout included, takes
// 1.4 to 1.7 times less processor time than std::to_chars's digits alone
// (bench/bench_fields.cpp), and the whole run 10 to 25 % less (user time
// 4.1 to 5.0 ms against 5.5 to 5.6 ms, bench/digits_bench.sh). What lies
// beyond its reach is left to std::to_chars by the callers.
#include "records/decimal_digits.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

__extension__ typedef unsigned __int128 u128;  // a GCC type: quiet under -Wpedantic

// 5^j for j = 0 .. 55, the largest power below 2^128.
constexpr std::array<u128, 56> pow5 = [] {
  std::array<u128, 56> p{};
  p[0] = 1;
  for (size_t j = 1; j < p.size(); j++) p[j] = p[j - 1] * 5;
  return p;
}();

constexpr std::array<uint64_t, 20> pow10 = [] {
  std::array<uint64_t, 20> p{};
  p[0] = 1;
  for (size_t j = 1; j < p.size(); j++) p[j] = p[j - 1] * 10;
  return p;
}();

// "00" "01" .. "99".
constexpr std::array<char, 200> digit_pairs = [] {
  std::array<char, 200> p{};
  for (int i = 0; i < 100; i++) {
    p[2 * i] = static_cast<char>('0' + i / 10);
    p[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return p;
}();

int bit_width(u128 v) {
  uint64_t high = static_cast<uint64_t>(v >> 64);
  return high ? 64 + std::bit_width(high) : std::bit_width(static_cast<uint64_t>(v));
}

// |x| = m * 2^e exactly, m below 2^24 (zero for zero).
void split(float x, uint32_t& m, int& e) {
  uint32_t bits = std::bit_cast<uint32_t>(x);
  uint32_t biased = bits >> 23 & 0xff;
  m = bits & 0x7fffff;
  if (biased == 0) {
    e = -149;  // subnormal: no hidden bit
  } else {
    m |= 1u << 23;
    e = static_cast<int>(biased) - 150;
  }
}

// p / 2^t rounded to nearest, ties to even; p is below 2^127, so for t of
// 128 or more the quotient is under one half.
u128 shift_rounded(u128 p, int t) {
  if (t >= 128) return 0;
  u128 q = p >> t;
  u128 rest = p - (q << t), half = static_cast<u128>(1) << (t - 1);
  if (rest > half || (rest == half && (q & 1))) q++;
  return q;
}

// p / d rounded to nearest, ties to even.
u128 divide_rounded(u128 p, u128 d) {
  u128 q = p / d, rest = p % d;
  if (rest > d - rest || (rest == d - rest && (q & 1))) q++;
  return q;
}

}  // namespace

bool scaled_integer(float x, int k, uint64_t& out) {
  uint32_t m;
  int e;
  split(x, m, e);
  // 1. |x| * 10^k = m * 5^k * 2^s.
  const int s = e + k;
  u128 q;
  if (k >= 0) {
    // 2. A numerator m * 5^k (below 2^127 for k up to 44), shifted.
    if (k > 44) return false;
    u128 p = m * pow5[k];
    if (s >= 0) {
      if (p != 0 && bit_width(p) + s > 64) return false;
      q = p << s;
    } else {
      q = shift_rounded(p, -s);
    }
  } else {
    // 3. A denominator 5^-k, the power of two on whichever side it falls.
    if (-k > 55) return false;
    u128 d = pow5[-k];
    if (s >= 0) {
      if (s > 103) return false;  // m * 2^s must stay below 2^127
      q = divide_rounded(static_cast<u128>(m) << s, d);
    } else if (bit_width(d) - s > 127) {
      q = 0;  // d * 2^-s at least 2^127: m (below 2^24) is under half of it
    } else {
      q = divide_rounded(m, d << -s);
    }
  }
  if (q >> 64) return false;
  out = static_cast<uint64_t>(q);
  return true;
}

bool significant_digits(float x, int n, Significant& s) {
  uint32_t m;
  int e;
  split(x, m, e);
  // 1. 2^b <= |x| < 2^(b+1), and floor(b * log10 2) as a first power of
  //    ten, exact for the binary powers of floats (-149 .. 127); it is never
  //    above the power of |x|, so the search only goes up.
  int b = e + std::bit_width(m) - 1;
  s.exp10 = (b * 78913) >> 18;
  // 2. Scale to n digits; a result of n + 1 digits, whether the estimate
  //    was low or the rounding carried, takes the next power.
  for (;;) {
    if (!scaled_integer(x, n - 1 - s.exp10, s.q)) return false;
    if (s.q < pow10[n]) return true;
    s.exp10++;
  }
}

int write_digits(char* out, uint64_t q, int min) {
  // 1. How many digits: floor(bits * log10 2) or one more.
  int t = (std::bit_width(q) * 1233) >> 12;
  int n = t + (q >= pow10[t]);
  if (n < 1) n = 1;
  if (n < min) n = min;
  // 2. Two digits at a time from the last, then zeros in front.
  char* p = out + n;
  for (; q >= 10; q /= 100) {
    p -= 2;
    std::memcpy(p, digit_pairs.data() + 2 * (q % 100), 2);
  }
  if (q > 0 || p == out + n) *--p = static_cast<char>('0' + q);
  std::memset(out, '0', p - out);
  return n;
}
