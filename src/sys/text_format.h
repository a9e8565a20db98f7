#pragma once
// printf-style text into a std::string: the one formatting helper of the
// tools' files, figures and reports.
#include <cstdio>
#include <string>

// Appends `layout` filled with `values` (printf's conversions) to `out`.
template <typename... T>
void appendf(std::string& out, const char* layout, T... values) {
  char buf[256];
  int n = std::snprintf(buf, sizeof buf, layout, values...);
  if (n < 0) return;  // only an invalid layout fails; there is nothing to append
  if (static_cast<size_t>(n) < sizeof buf) {
    out.append(buf, static_cast<size_t>(n));
    return;
  }
  // A long text (a long file name): printed again into its own room.
  size_t at = out.size();
  out.resize(at + static_cast<size_t>(n) + 1);
  std::snprintf(out.data() + at, static_cast<size_t>(n) + 1, layout, values...);
  out.resize(at + static_cast<size_t>(n));
}

// `layout` filled with `values`, as a string.
template <typename... T>
std::string formatted(const char* layout, T... values) {
  std::string s;
  appendf(s, layout, values...);
  return s;
}
