// Fixed-field output: a layout walked field by field, each value rendered
// right-aligned in its width, asterisks when it does not fit.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "records/channel_table.h"
#include "records/fixed_format.h"
#include "records/record.h"
#include "records/report.h"

namespace {

// Layout text: elements separated by commas; fW.D, eW.D, "literal" or a
// repeat group n(...), unrolled into the item list.
const char* parse_list(const char* p, std::vector<LayoutItem>& items) {
  while (*p && *p != ')') {
    if (*p == ',') {
      p++;
    } else if (*p == '"') {
      const char* end = std::strchr(p + 1, '"');
      items.push_back({'"', 0, 0, std::string(p + 1, end)});
      p = end + 1;
    } else if (*p == 'f' || *p == 'e') {
      char kind = *p;
      char* q;
      int w = static_cast<int>(std::strtol(p + 1, &q, 10));
      int d = static_cast<int>(std::strtol(q + 1, &q, 10));
      items.push_back({kind, w, d, {}});
      p = q;
    } else {
      char* q;
      long n = std::strtol(p, &q, 10);
      std::vector<LayoutItem> group;
      p = parse_list(q + 1, group) + 1;
      for (long k = 0; k < n; k++) items.insert(items.end(), group.begin(), group.end());
    }
  }
  return p;
}

struct {
  int unit;
  const Layout* layout;
  size_t at;  // next item of the layout
} walk;

// Literals are written until the walk reaches a value field or the end.
void write_literals() {
  const auto& items = walk.layout->items;
  for (; walk.at < items.size() && items[walk.at].kind == '"'; walk.at++)
    record.put(items[walk.at].text.data(), items[walk.at].text.size());
}

std::string stars(int w) { return std::string(w, '*'); }

std::string right_aligned(const char* sign, const char* text, int w) {
  int n = static_cast<int>(std::strlen(sign) + std::strlen(text));
  if (n > w) return stars(w);
  return std::string(w - n, ' ') + sign + text;
}

}  // namespace

Layout::Layout(const char* text) : text(text) { parse_list(text + 1, items); }

std::string fixed_point_field(float value, int w, int d) {
  // 1. Magnitude and sign; zero of either sign is plain zero.
  double x = value;
  bool minus = x < 0;
  char text[64];
  int len = std::snprintf(text, sizeof text, "%#.*f", d, std::fabs(x));
  if (!std::isfinite(x)) return right_aligned(minus ? "-" : "", text, w);
  // 2. A negative value that rounds to zero loses its sign.
  if (minus && std::strspn(text, "0.") == static_cast<size_t>(len)) minus = false;
  // 3. One character short: the leading 0 gives way; otherwise asterisks.
  int n = len + minus;
  if (n > w) {
    if (text[0] == '0' && n - 1 == w) return std::string(minus ? "-" : "").append(text + 1);
    return stars(w);
  }
  return std::string(w - n, ' ').append(minus ? "-" : "").append(text);
}

std::string exponent_field(float value, int w, int d) {
  double x = value;
  bool minus = x < 0;
  // 1. Room for blanks beyond sign, point, d digits, E and a signed exponent.
  int delta = w - (d + 5) - minus;
  if (delta < 0) return stars(w);
  char text[64];
  std::snprintf(text, sizeof text, "%#.*E", d - 1, std::fabs(x));
  if (!std::isfinite(x)) return right_aligned(minus ? "-" : "", text, w);
  // 2. The d digits m.mmmm become .mmmmm, one power of ten higher.
  char* e = std::strchr(text, 'E');
  std::string digits(1, text[0]);
  digits.append(text + 2, e);
  int exponent = x == 0 ? 0 : std::atoi(e + 1) + 1;
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%+.2d", exponent);
  // 3. A spare column takes the 0 before the point.
  std::string field(delta > 0 ? delta - 1 : 0, ' ');
  if (minus) field += '-';
  if (delta > 0) field += '0';
  return field + "." + digits + tail;
}

void begin_fixed_write(int unit, const Layout& layout) {
  note_statement(unit, false, layout.text);
  switch_to_writing(unit, "write start");
  walk = {unit, &layout, 0};
  record.len = 0;
}

void put_fixed_real(float value) {
  write_literals();
  const auto& items = walk.layout->items;
  if (walk.at == items.size()) return;  // more values than fields: dropped
  const LayoutItem& f = items[walk.at++];
  std::string field = f.kind == 'e' ? exponent_field(value, f.w, f.d)
                                    : fixed_point_field(value, f.w, f.d);
  record.put(field.data(), field.size());
}

void end_fixed_write() {
  write_literals();
  write_record(walk.unit, record.buf ? record.buf : "", record.len);
  record.len = 0;
  note_statement_done();
}
