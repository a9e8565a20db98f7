// Free-format input: reals separated by blanks, tabs, line ends or commas,
// with null values, a slash that ends the list and repeat counts r*v.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "records/channel.h"
#include "records/channel_table.h"
#include "records/free_format.h"
#include "records/early_end.h"

namespace {

constexpr int max_digits = 40;          // significant digits that take part
constexpr long max_exponent = 99999999;

struct {
  int unit;
  int64_t repeat;      // items still to take the repeated value, this one included
  bool repeat_null;
  float repeat_value;
  bool slash;          // the list was ended by a slash
} in;

bool blank(int c) { return c == ' ' || c == '\t'; }
bool digit(int c) { return c >= '0' && c <= '9'; }
int next() { return read_char(in.unit); }
void back(int c) { unread_char(in.unit, c); }

[[noreturn]] void incomprehensible(const char* context) {
  fail_run(err_list_input, context);
}

// One number as scanned: its significant digits and the power of ten that
// scales them, or no digits at all.
struct Number {
  bool negative = false, point = false, sign = false;
  // A place for the sign, the digits kept (no leading zeros), then room
  // for the exponent that the conversion reads after them.
  char text[1 + max_digits + 24];
  int count = 0;        // digits kept
  int64_t scale = 0;    // value = digits * 10^scale
  int64_t integer_digits = 0;
  bool any = false;     // a digit was seen
  int end = 0;          // the character that ended the scan
};

// A number: sign, digits with an optional point, exponent.
Number scan(int c) {
  Number n;
  if (c == '+' || c == '-') {
    n.sign = true;
    n.negative = c == '-';
    c = next();
  }
  for (;; c = next()) {
    if (c == '.' && !n.point) {
      n.point = true;
      continue;
    }
    if (!digit(c)) break;
    n.any = true;
    if (!n.point && (c != '0' || n.count > 0)) n.integer_digits++;
    if (c == '0' && n.count == 0) {
      if (n.point) n.scale--;  // a leading zero after the point
    } else if (n.count < max_digits) {
      n.text[1 + n.count++] = static_cast<char>(c);
      if (n.point) n.scale--;
    } else if (!n.point) {
      n.scale++;  // past 40 digits, a digit before the point only scales
    }
  }
  // The exponent: a letter E, e, D or d, or a bare sign, after a digit.
  bool letter = c == 'E' || c == 'e' || c == 'D' || c == 'd';
  if (n.any && (letter || c == '+' || c == '-')) {
    if (letter) c = next();
    bool minus = c == '-';
    if (c == '+' || c == '-') c = next();
    if (!digit(c)) incomprehensible("exponent field");
    int64_t e = 0;
    for (; digit(c); c = next())
      if ((e = e * 10 + (c - '0')) > max_exponent) incomprehensible("exponent field");
    n.scale += minus ? -e : e;
  }
  n.end = c;
  return n;
}

// Nearest double of the scanned digits, then rounded to single. The
// conversion is exact for any count of digits; a value beyond the range of
// doubles is an infinity or a zero, as the power of its first digit says.
float value_of(Number& n) {
  if (n.count == 0) return n.negative ? -0.0f : 0.0f;
  char* first = n.text + 1;
  if (n.negative) *--first = '-';
  char* p = n.text + 1 + n.count;
  *p++ = 'e';
  p = std::to_chars(p, std::end(n.text), n.scale).ptr;
  double x;
  if (std::from_chars(first, p, x).ec == std::errc::result_out_of_range)
    x = std::copysign(n.count + n.scale > 0 ? HUGE_VAL : 0.0, n.negative ? -1.0 : 1.0);
  return static_cast<float>(x);
}

// After a value: blanks and tabs, then the comma that separates it from
// the next item, unless the repeated value still has items to fill.
void after_value() {
  int c;
  while (blank(c = next())) {
  }
  if (c == ',' && in.repeat < 2) return;
  back(c);
}

// What follows a repeat count r*: the value written after the asterisk,
// or null values when a separator follows it.
void read_repeated(int64_t count) {
  in.repeat = count;
  int c = next();
  if (blank(c) || c == '\n' || c == ',' || c == '/' || c < 0) {
    back(c);
    in.repeat_null = true;
    return;
  }
  Number n = scan(c);
  back(n.end);
  if (n.any) {
    in.repeat_null = false;
    in.repeat_value = value_of(n);
  } else if (n.end == ',' || n.end == '/' || blank(n.end) || n.end == '\n') {
    in.repeat_null = true;
  } else {
    incomprehensible("invalid number");
  }
}

void take_repeated(float& value) {
  if (!in.repeat_null) value = in.repeat_value;
  after_value();
  in.repeat--;
}

}  // namespace

void begin_free_read(int unit) {
  // An answer is awaited: the prompt must be visible first. A standard
  // output that fails here is reported as the write it is.
  if (unit == unit_input) flush_output();
  end_if_signalled();
  note_statement(unit, true, "list io");
  in.unit = unit;
  in.repeat = 0;
  in.slash = false;
  if (channel(unit).at_end) fail_run(err_eof, "read start");
}

void get_real(float& value) {
  if (in.slash) return;
  if (in.repeat > 0) return take_repeated(value);
  // Blanks, tabs and line ends before the item are passed over.
  int c;
  while (blank(c = next()) || c == '\n') {
  }
  if (c < 0) fail_run(err_eof, "list in");
  if (c == ',') return;  // a null value
  if (c == '/') {
    in.slash = true;
    return;
  }
  Number n = scan(c);
  if (n.end == '*') {
    // A repeat count: one or more digits, not zero, no sign, no point.
    if (n.negative || n.point || n.count == 0 || n.integer_digits > max_digits ||
        n.scale != 0)
      incomprehensible("bad repetition count");
    int64_t count = 0;
    for (int i = 0; i < n.count; i++)
      count = count > INT32_MAX ? count : count * 10 + (n.text[1 + i] - '0');
    read_repeated(count);
    return take_repeated(value);
  }
  back(n.end);
  if (n.any) {
    value = value_of(n);
  } else if (n.end != ',' && n.end != '/') {
    incomprehensible("invalid number");
  }
  after_value();
}

void end_free_read() {
  // The rest of the current line is discarded; an input that ends before
  // its line end leaves the channel at its end.
  int c;
  while ((c = next()) != '\n') {
    if (c < 0) {
      channel(in.unit).at_end = true;
      return;
    }
  }
}
