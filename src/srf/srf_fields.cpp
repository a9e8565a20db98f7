#include "srf/srf_fields.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// from_chars takes no leading +, which some writers print on exponents'
// mantissas; a second sign after it stays an error.
std::string_view without_plus(std::string_view f) {
  if (f.size() > 1 && f[0] == '+' && f[1] != '-' && f[1] != '+') f.remove_prefix(1);
  return f;
}

}  // namespace

void split_fields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  size_t i = 0, n = line.size();
  for (;;) {
    while (i < n && blank(line[i])) i++;
    if (i == n) return;
    size_t start = i;
    while (i < n && !blank(line[i])) i++;
    fields.push_back(line.substr(start, i - start));
  }
}

std::string shown(std::string_view field) {
  constexpr size_t longest = 40;
  std::string s = "\"";
  for (size_t i = 0; i < field.size() && i < longest; i++) {
    unsigned char c = static_cast<unsigned char>(field[i]);
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      s += char(c);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      s += esc;
    }
  }
  if (field.size() > longest) s += "...";
  return s + "\"";
}

std::string to_real(std::string_view field, double& value) {
  std::string_view f = without_plus(field);
  auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), value);
  if (ec == std::errc::result_out_of_range) return shown(field) + " is out of range";
  if (ec != std::errc() || end != f.data() + f.size()) return shown(field) + " is not a number";
  if (!std::isfinite(value)) return shown(field) + " is not finite";
  return {};
}

std::string to_count(std::string_view field, long largest, long& value) {
  std::string_view f = without_plus(field);
  auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), value);
  if (ec == std::errc() && end == f.data() + f.size()) {
    if (value < 0) return shown(field) + " is negative";
    if (value > largest) return shown(field) + " is more than " + std::to_string(largest);
    return {};
  }
  if (ec == std::errc::result_out_of_range && end == f.data() + f.size())
    return shown(field) + (f[0] == '-' ? " is negative" : " is more than " + std::to_string(largest));
  return shown(field) + " is not a whole number";
}
