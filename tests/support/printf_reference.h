#pragma once
// The texts of reals as the C library's formatted print makes them: the
// rendering that the program's own digit layout must reproduce character for
// character. Kept for the checks only.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace printf_reference {

inline std::string right_aligned(const char* sign, const char* text, int w) {
  int n = static_cast<int>(std::strlen(sign) + std::strlen(text));
  if (n > w) return std::string(w, '*');
  return std::string(w - n, ' ') + sign + text;
}

// "%#.*f" of the magnitude, the sign beside it, right-aligned in w.
inline std::string fixed_point_field(float value, int w, int d) {
  double x = value;
  bool minus = x < 0;
  char text[64];
  int len = std::snprintf(text, sizeof text, "%#.*f", d, std::fabs(x));
  if (!std::isfinite(x)) return right_aligned(minus ? "-" : "", text, w);
  if (minus && std::strspn(text, "0.") == static_cast<size_t>(len)) minus = false;
  int n = len + minus;
  if (n > w) {
    if (text[0] == '0' && n - 1 == w) return std::string(minus ? "-" : "").append(text + 1);
    return std::string(w, '*');
  }
  return std::string(w - n, ' ').append(minus ? "-" : "").append(text);
}

// "%#.*E" with d - 1 decimals, laid out as .ddddd and the exponent plus 1.
inline std::string exponent_field(float value, int w, int d) {
  double x = value;
  bool minus = x < 0;
  int delta = w - (d + 5) - minus;
  if (delta < 0) return std::string(w, '*');
  char text[64];
  std::snprintf(text, sizeof text, "%#.*E", d - 1, std::fabs(x));
  if (!std::isfinite(x)) return right_aligned(minus ? "-" : "", text, w);
  char* e = std::strchr(text, 'E');
  std::string digits(1, text[0]);
  digits.append(text + 2, e);
  int exponent = x == 0 ? 0 : std::atoi(e + 1) + 1;
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%+.2d", exponent);
  std::string field(delta > 0 ? delta - 1 : 0, ' ');
  if (minus) field += '-';
  if (delta > 0) field += '0';
  return field + "." + digits + tail;
}

// "%.9G" of the magnitude after a blank and the sign, a point forced.
inline std::string real_item(float value) {
  double x = value;
  char out[32];
  out[0] = ' ';
  out[1] = x < 0 ? '-' : ' ';
  if (x == 0) return "  0.";
  char* t = out + 2;
  int n = std::snprintf(t, 20, "%.9G", std::fabs(x));
  if (t[0] == 'I' || t[0] == 'N' || t[0] == 'i' || t[0] == 'n') return std::string(out, n + 2);
  if (!std::strchr(t, '.')) {
    char* e = std::strchr(t, 'E');
    if (!e) e = t + n;
    std::memmove(e + 1, e, t + n + 1 - e);
    *e = '.';
    n++;
  }
  return std::string(out, n + 2);
}

}  // namespace printf_reference
