#pragma once
// Fixed-field records: lines shaped by a layout of fixed-point fields,
// exponent fields and literal text.
#include <string>
#include <vector>

struct LayoutItem {
  char kind;  // 'f' fixed point, 'e' exponent, '"' literal
  int w, d;   // width and decimals (or mantissa digits)
  std::string text;  // the literal
};

struct Layout {
  // Parses a layout such as (f8.2,",",3(f15.5,",")); repeat groups are
  // unrolled.
  explicit Layout(const char* text);
  const char* text;
  std::vector<LayoutItem> items;
};

void begin_fixed_write(int unit, const Layout& layout);
void put_fixed_real(float value);
void end_fixed_write();

// One field: exactly w characters at out (w asterisks when the value does
// not fit), returns w. A fixed-point field takes 0 to 40 decimals, an
// exponent field 1 to 17 mantissa digits; other counts give asterisks.
int fixed_point_text(char* out, float value, int w, int d);
int exponent_text(char* out, float value, int w, int d);

// The same as strings, for tests.
std::string fixed_point_field(float value, int w, int d);
std::string exponent_field(float value, int w, int d);
