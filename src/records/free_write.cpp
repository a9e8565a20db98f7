// Free-format output: items placed one after another, a new record begun
// when an item would reach column 80.
#include <charconv>

#include "records/channel.h"
#include "records/free_format.h"
#include "records/record.h"
#include "records/early_end.h"

namespace {

constexpr size_t line_limit = 80;
int unit_now;

// An item that would reach the line limit starts a new record, unless the
// record is still empty.
void make_room(size_t len) {
  if (record.len != 0 && record.len + len >= line_limit) {
    write_record(unit_now, record.buf, record.len);
    record.len = 0;
  }
}

}  // namespace

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
  int n = static_cast<int>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
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
