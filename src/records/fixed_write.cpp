// Fixed-field output: a layout walked field by field, each value rendered
// right-aligned in its width, asterisks when it does not fit.
#include <cstdlib>
#include <cstring>

#include "records/channel.h"
#include "records/fixed_format.h"
#include "records/record.h"
#include "records/early_end.h"

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

}  // namespace

Layout::Layout(const char* text) : text(text) { parse_list(text + 1, items); }

std::string fixed_point_field(float value, int w, int d) {
  std::string field(w > 0 ? w : 0, ' ');
  field.resize(fixed_point_text(field.data(), value, w, d));
  return field;
}

std::string exponent_field(float value, int w, int d) {
  std::string field(w > 0 ? w : 0, ' ');
  field.resize(exponent_text(field.data(), value, w, d));
  return field;
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
  // The field is rendered in place at the end of the record.
  char* at = record.room(f.w);
  record.len += f.kind == 'e' ? exponent_text(at, value, f.w, f.d)
                              : fixed_point_text(at, value, f.w, f.d);
}

void end_fixed_write() {
  write_literals();
  write_record(walk.unit, record.buf ? record.buf : "", record.len);
  record.len = 0;
  note_statement_done();
}
