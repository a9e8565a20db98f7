// The texts of reals: fixed-point and exponent fields, free-format items.
// Each is laid out from the correctly rounded decimal digits of the stored
// value, the same digits as the C library's "%#.*f", "%#.*E" and "%.9G"
// give, with the same spellings of infinities and not-a-numbers.
#include <charconv>
#include <cmath>
#include <cstring>

#include "records/decimal_digits.h"
#include "records/fixed_format.h"
#include "records/free_format.h"

namespace {

// Set by the build for bench/digits_bench.sh alone: every digit from
// std::to_chars, to time the whole run against the digits of
// decimal_digits.cpp.
#ifdef SLIPVEL_LIBRARY_DIGITS
constexpr bool library_digits = true;
#else
constexpr bool library_digits = false;
#endif

char* put(char* p, const char* text, int n) {
  std::memcpy(p, text, n);
  return p + n;
}

char* fill(char* p, char c, int n) {
  std::memset(p, c, n);
  return p + n;
}

int stars(char* out, int w) { return static_cast<int>(fill(out, '*', w > 0 ? w : 0) - out); }

// w - n blanks, the sign, the text; one character short, a leading 0 gives
// way (-.500); shorter still, asterisks.
int right_aligned(char* out, bool minus, const char* text, int len, int w) {
  if (len + minus == w + 1 && text[0] == '0') {
    text++;
    len--;
  }
  int n = len + minus;
  if (n > w) return stars(out, w);
  char* p = fill(out, ' ', w - n);
  if (minus) *p++ = '-';
  put(p, text, len);
  return w;
}

bool all_zero(const char* text, int len) {
  for (int i = 0; i < len; i++)
    if (text[i] != '0' && text[i] != '.') return false;
  return true;
}

// |x| rounded to d decimals: digits, a point, d decimals, and at least one
// digit before the point. Text holds 39 + 1 + d characters.
int fixed_text(char* text, float ax, int d) {
  uint64_t q;
  if (!library_digits && scaled_integer(ax, d, q)) {
    int n = write_digits(text, q, d + 1);
    std::memmove(text + n - d + 1, text + n - d, d);
    text[n - d] = '.';
    return n + 1;
  }
  // Beyond 2^64 units of the last decimal: the library's exact digits.
  char* end = std::to_chars(text, text + 96, static_cast<double>(ax),
                            std::chars_format::fixed, d).ptr;
  if (d == 0) *end++ = '.';
  return static_cast<int>(end - text);
}

// The n significant digits of a finite nonzero |x| into `digits`; returns
// the power of ten of the first.
int significant_text(char* digits, float ax, int n) {
  Significant s;
  if (!library_digits && significant_digits(ax, n, s)) {
    write_digits(digits, s.q, n);
    return s.exp10;
  }
  // Far below 1 (subnormal range): the library's exact digits, d.ddde-XX.
  char text[48];
  char* end = std::to_chars(text, text + sizeof text, static_cast<double>(ax),
                            std::chars_format::scientific, n - 1).ptr;
  digits[0] = text[0];
  std::memcpy(digits + 1, text + 2, n - 1);
  const char* e = static_cast<const char*>(std::memchr(text, 'e', end - text));
  int exp10 = 0;
  std::from_chars(e + 2, end, exp10);
  return e[1] == '-' ? -exp10 : exp10;
}

// E, the sign and at least two digits.
int exponent_suffix(char* out, int exp10) {
  out[0] = 'E';
  out[1] = exp10 < 0 ? '-' : '+';
  return 2 + write_digits(out + 2, static_cast<uint64_t>(exp10 < 0 ? -exp10 : exp10), 2);
}

}  // namespace

int fixed_point_text(char* out, float value, int w, int d) {
  // 1. Magnitude and sign; zero of either sign is plain zero.
  bool minus = value < 0;
  if (std::isnan(value)) return right_aligned(out, false, "nan", 3, w);
  if (std::isinf(value)) return right_aligned(out, minus, "inf", 3, w);
  if (d < 0 || d > 40) return stars(out, w);
  char text[128];
  int len = fixed_text(text, std::fabs(value), d);
  // 2. A negative value that rounds to zero loses its sign.
  if (minus && all_zero(text, len)) minus = false;
  // 3. Right-aligned; one short, the leading 0 gives way; else asterisks.
  return right_aligned(out, minus, text, len, w);
}

int exponent_text(char* out, float value, int w, int d) {
  bool minus = value < 0;
  // 1. Room for blanks beyond sign, point, d digits, E and a signed exponent.
  int delta = w - (d + 5) - minus;
  if (delta < 0) return stars(out, w);
  if (std::isnan(value)) return right_aligned(out, false, "NAN", 3, w);
  if (std::isinf(value)) return right_aligned(out, minus, "INF", 3, w);
  if (d < 1 || d > 17) return stars(out, w);
  // 2. The d digits m.mmmm become .mmmmm, one power of ten higher; zero
  //    has the exponent 0.
  char digits[20];
  int exp10 = 0;
  if (value == 0)
    std::memset(digits, '0', d);
  else
    exp10 = significant_text(digits, std::fabs(value), d) + 1;
  // 3. A spare column takes the 0 before the point.
  char* p = fill(out, ' ', delta > 0 ? delta - 1 : 0);
  if (minus) *p++ = '-';
  if (delta > 0) *p++ = '0';
  *p++ = '.';
  p = put(p, digits, d);
  p += exponent_suffix(p, exp10);
  return static_cast<int>(p - out);
}

int render_real(char* out, float value) {
  out[0] = ' ';
  out[1] = value < 0 ? '-' : ' ';
  char* t = out + 2;
  // 1. Zero of either sign: no sign, just the digit and the point.
  if (value == 0) {
    out[1] = ' ';
    std::memcpy(t, "0.", 2);
    return 4;
  }
  // 2. An infinity or a not-a-number stands as spelled, a NaN unsigned.
  if (std::isnan(value)) out[1] = ' ';
  if (!std::isfinite(value)) {
    std::memcpy(t, std::isnan(value) ? "NAN" : "INF", 3);
    return 5;
  }
  // 3. Nine significant digits, trailing zeros dropped, a point always.
  char digits[9];
  const int x = significant_text(digits, std::fabs(value), 9);
  int kept = 9;
  while (kept > 1 && digits[kept - 1] == '0') kept--;
  char* p = t;
  if (x < -4 || x >= 9) {
    // 4. Exponent form beyond 10^-5 .. 10^9: d.dddE+XX.
    *p++ = digits[0];
    *p++ = '.';
    p = put(p, digits + 1, kept - 1);
    p += exponent_suffix(p, x);
  } else if (x >= 0) {
    // 5. Plain form, x + 1 digits before the point.
    p = put(p, digits, x + 1);
    *p++ = '.';
    if (kept > x + 1) p = put(p, digits + x + 1, kept - x - 1);
  } else {
    // 6. Below 1: 0, the point, -x - 1 zeros, the digits.
    *p++ = '0';
    *p++ = '.';
    p = fill(p, '0', -x - 1);
    p = put(p, digits, kept);
  }
  return static_cast<int>(p - out);
}
