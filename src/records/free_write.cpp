// Free-format output: items placed one after another, a new record begun
// when an item would reach column 80.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "records/channel_table.h"
#include "records/free_format.h"
#include "records/record.h"
#include "records/report.h"

namespace {

constexpr size_t line_limit = 80;
int unit_now;

// Step 5: an item that would reach the line limit starts a new record,
// unless the record is still empty.
void make_room(size_t len) {
  if (record.len != 0 && record.len + len >= line_limit) {
    write_record(unit_now, record.buf, record.len);
    record.len = 0;
  }
}

}  // namespace

int render_real(char* out, float value) {
  double x = value;
  out[0] = ' ';
  out[1] = x < 0 ? '-' : ' ';
  // 1. Zero of either sign: no sign, just the digit and the point.
  if (x == 0) {
    out[1] = ' ';
    std::memcpy(out + 2, "0.", 3);
    return 4;
  }
  // 2. Nine significant digits of the magnitude.
  char* t = out + 2;
  int n = std::snprintf(t, 20, "%.9G", std::fabs(x));
  // 3. An infinity or a not-a-number stands as spelled.
  if (t[0] == 'I' || t[0] == 'N' || t[0] == 'i' || t[0] == 'n') return n + 2;
  // 4. Otherwise a point is forced: before the exponent, or at the end.
  if (!std::strchr(t, '.')) {
    char* e = std::strchr(t, 'E');
    if (!e) e = t + n;
    std::memmove(e + 1, e, t + n + 1 - e);
    *e = '.';
    n++;
  }
  return n + 2;
}

void begin_free_write(int unit) {
  note_statement(unit, false, "list io");
  switch_to_writing(unit, "list output start");
  unit_now = unit;
  record.len = 0;
}

void put_text(std::string_view text) {
  make_room(text.size());
  // A text item that starts a record is set off by one blank.
  if (record.len == 0) record.put(' ', 1);
  record.put(text.data(), text.size());
}

void put_integer(int value) {
  char digits[16];
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : value;
  int n = std::snprintf(digits, sizeof digits, "%u", magnitude);
  make_room(n);  // the blank and the sign do not count
  record.put(' ', 1);
  if (value < 0) record.put('-', 1);
  record.put(digits, n);
}

void put_real(float value) {
  char text[32];
  int n = render_real(text, value);
  make_room(n);
  record.put(text, n);
}

void end_free_write() {
  write_record(unit_now, record.buf ? record.buf : "", record.len);
  record.len = 0;
}

void write_text_record(int unit, std::string_view text) {
  begin_free_write(unit);
  if (!text.empty()) put_text(text);
  end_free_write();
}
