// Fuzz target: arbitrary floats (the input's bytes, four at a time) through
// the free-format and fixed-field writers. Checked against properties that
// do not depend on how the writers build their text:
// - every fixed field has exactly its width, holds its value to within half
//   a unit of its last decimal, and turns to asterisks only when the value
//   cannot fit;
// - a free-format real carries its two leading characters and a decimal
//   point, and reads back to the same float;
// - a statement of many reals keeps its records below the line limit, and
//   the file channel hands them back through the reader unchanged.
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "records/channel.h"
#include "records/channel_table.h"
#include "records/fixed_format.h"
#include "records/free_format.h"

namespace {

const char* const files[] = {"items.txt", nullptr};

// The fixed-point fields of the four files: time, slip, frequency, summary.
struct FixedKind {
  int w, d;
};
constexpr FixedKind fixed_kinds[] = {{8, 2}, {15, 5}, {8, 4}, {5, 3}};

bool all_of(const std::string& s, char c) { return s.find_first_not_of(c) == std::string::npos; }

// Blanks, then the text without inner blanks.
std::string right_aligned_text(const std::string& field) {
  size_t start = field.find_first_not_of(' ');
  if (start == std::string::npos) finding("blank field");
  std::string text = field.substr(start);
  if (text.find(' ') != std::string::npos) finding("blank inside a field", field);
  return text;
}

// Infinities and NaN stand as the library spells them, sign in front.
void check_not_finite(float x, const std::string& text, bool upper) {
  std::string word = std::isnan(x) ? "nan" : "inf";
  if (upper)
    for (char& c : word) c = static_cast<char>(c - 'a' + 'A');
  if (std::isinf(x) && x < 0) word = "-" + word;
  if (text != word) finding("infinity or NaN field", text);
}

void check_fixed_point(float x, FixedKind k) {
  std::string field = fixed_point_field(x, k.w, k.d);
  if (static_cast<int>(field.size()) != k.w) finding("fixed-point field width", field);
  double ax = std::fabs(static_cast<double>(x));
  if (all_of(field, '*')) {
    // Asterisks only when even the unsigned value needs more room than the
    // field has, or the sign does not fit beside it.
    if (std::isfinite(x) && ax < std::pow(10.0, k.w - k.d - 2) * 0.99)
      finding("asterisks for a value that fits", field);
    return;
  }
  std::string text = right_aligned_text(field);
  if (!std::isfinite(x)) return check_not_finite(x, text, false);
  if (ax >= std::pow(10.0, k.w - k.d - 1)) finding("a field wider than its width fits", field);
  size_t point = text.find('.');
  if (point == std::string::npos || text.size() - point - 1 != static_cast<size_t>(k.d))
    finding("decimals of a fixed-point field", field);
  double shown = std::strtod(text.c_str(), nullptr);
  // Half a unit of the last decimal, and the double rounding of strtod.
  if (std::fabs(shown - x) > 0.5000001 * std::pow(10.0, -k.d) + 1e-15 * ax)
    finding("fixed-point value", field);
  if (text[0] == '-' && shown == 0) finding("negative zero shown with a sign", field);
}

// Five significant digits as .ddddd, the first not 0 unless the value is,
// and an exponent of a sign and two digits.
void check_exponent(float x) {
  std::string field = exponent_field(x, 15, 5);
  if (field.size() != 15) finding("exponent field width", field);
  std::string text = right_aligned_text(field);
  if (!std::isfinite(x)) return check_not_finite(x, text, true);
  size_t e = text.find('E');
  if (e == std::string::npos || e < 6 || e + 4 != text.size() || text[e - 6] != '.' ||
      (text[e + 1] != '+' && text[e + 1] != '-'))
    finding("exponent field shape", field);
  if (x != 0 && text[e - 5] == '0') finding("exponent field not normalised", field);
  int exponent = std::atoi(text.c_str() + e + 1);
  double shown = std::strtod(text.c_str(), nullptr);
  if (std::fabs(shown - x) > 0.5000001 * std::pow(10.0, exponent - 5))
    finding("exponent field value", field);
}

// The free-format item: two leading characters, then a number with a
// point, the nearest float of which is the value itself.
void check_free_item(float x) {
  char out[32];
  int n = render_real(out, x);
  std::string item(out, n);
  if (item.size() < 4 || item[0] != ' ' || item[1] != (x < 0 ? '-' : ' '))
    finding("leading characters of a real item", item);
  std::string text = item.substr(2);
  if (!std::isfinite(x)) return check_not_finite(std::fabs(x), text, true);
  if (text.find('.') == std::string::npos) finding("no decimal point", item);
  if (text.find_first_not_of("0123456789.E+-") != std::string::npos) finding("real item", item);
  float back = static_cast<float>(std::strtod(item.c_str(), nullptr));
  if (back != x) finding("real item does not read back to its value", item);
}

std::string file_text(const char* name) {
  std::string text;
  FILE* f = std::fopen(name, "rb");
  if (!f) finding("file missing", name);
  char buf[4096];
  for (size_t k; (k = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, k);
  std::fclose(f);
  return text;
}

// All finite values in one statement on the file channel, read back by one
// read statement through the same channel.
void round_trip(const std::vector<float>& xs) {
  open_file_channel("items.txt", "unknown");
  begin_free_write(unit_file);
  for (float x : xs) put_real(x);
  end_free_write();
  close_file_channel();

  std::string text = file_text("items.txt");
  // Every record ends with its line end and stays below the line limit.
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    if (end - start >= 80)
      finding("record reaches the line limit", text.substr(start, end - start));
  if (start != text.size()) finding("last record without line end");

  open_file_channel("items.txt", "old");
  begin_free_read(unit_file);
  for (float x : xs) {
    float back = NAN;  // a null value would leave it unequal
    get_real(back);
    if (back != x) finding("value changed on its way through the file", std::to_string(x));
  }
  end_free_read();
  close_file_channel();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (catch_failures(), enter_scratch_directory(files), true);
  (void)ready;
  std::vector<float> finite;
  for (size_t at = 0; at + 4 <= size; at += 4) {
    float x;
    std::memcpy(&x, data + at, 4);
    for (FixedKind k : fixed_kinds) check_fixed_point(x, k);
    check_exponent(x);
    check_free_item(x);
    if (std::isfinite(x)) finite.push_back(x);
  }
  try {
    round_trip(finite);
  } catch (const RunFailure& f) {
    finding("writing and reading back failed", f.context);
  }
  return 0;
}
