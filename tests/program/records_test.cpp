// Free-format and fixed-field records: every character of an item, the
// placement of items in lines, and the input rules, read through the file
// channel exactly as the program reads slip_t.csv.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <vector>

#include "records/channel.h"
#include "records/early_end.h"
#include "records/channel_table.h"
#include "records/fixed_format.h"
#include "records/free_format.h"
#include "support/run_program.h"

namespace {

// One directory for the whole binary, made before any death test forks, so a
// child that dies leaves nothing behind.
const TempDir scratch;

std::string real_item(float v) {
  char text[32];
  return std::string(text, render_real(text, v));
}

// Writes one statement's items to a fresh file and returns the file.
template <class Items>
std::string written(Items items) {
  const TempDir& dir = scratch;
  open_file_channel(dir.file("f").c_str(), "unknown");
  begin_free_write(unit_file);
  items();
  end_free_write();
  close_file_channel();
  return dir.read("f");
}

// Reads `count` reals from `text` in one statement, starting from `init`.
std::vector<float> read_list(const std::string& text, int count, float init = -7) {
  const TempDir& dir = scratch;
  dir.write("f", text);
  open_file_channel(dir.file("f").c_str(), "old");
  std::vector<float> v(count, init);
  begin_free_read(unit_file);
  for (float& x : v) get_real(x);
  end_free_read();
  close_file_channel();
  return v;
}

float read_one(const std::string& text) { return read_list(text, 1)[0]; }

class Records : public ::testing::Test {
 protected:
  void SetUp() override { connect_standard_channels(); }
};

// Real items: the stored single-precision value to nine digits, a point
// always, and two leading characters that carry the sign.
TEST_F(Records, RealItemText) {
  const struct {
    float v;
    const char* text;
  } rows[] = {
      {6.0f, "  6."},
      {4.65f, "  4.6500001"},
      {4.32f, "  4.32000017"},
      {2.8f, "  2.79999995"},
      {static_cast<float>(1 / (6 * static_cast<double>(3.1415927f))), "  0.0530516468"},
      {0.1f, "  0.100000001"},
      {static_cast<float>(2512 * static_cast<double>(0.1f)), "  251.199997"},
      {123456789.0f, "  123456792."},
      {-2.5f, " -2.5"},
      {0.0f, "  0."},
      {-0.0f, "  0."},
      {1.0e9f, "  1.E+09"},
      {0.0001f, "  9.99999975E-05"},
      {std::numeric_limits<float>::infinity(), "  INF"},
      {-std::numeric_limits<float>::infinity(), " -INF"},
      {std::numeric_limits<float>::quiet_NaN(), "  NAN"},
      {-std::numeric_limits<float>::quiet_NaN(), "  NAN"},  // a NaN never gets a sign
  };
  for (const auto& r : rows) EXPECT_EQ(real_item(r.v), r.text) << r.v;
}

// Placement: text at position 0 gets one blank, later text is glued on,
// integers count only their digits, and a long item is never split.
TEST_F(Records, ItemPlacement) {
  EXPECT_EQ(written([] {}), "\n");
  EXPECT_EQ(written([] { put_text(std::string(47, 'h')); }), " " + std::string(47, 'h') + "\n");
  EXPECT_EQ(written([] { put_text(std::string(109, 'x')); }), " " + std::string(109, 'x') + "\n");
  EXPECT_EQ(written([] {
              put_text("fmax,td = ");
              put_real(6.0f);
              put_text(" (Hz)");
              put_real(static_cast<float>(1 / (6 * static_cast<double>(3.1415927f))));
              put_text(" (s)");
            }),
            " fmax,td =   6. (Hz)  0.0530516468 (s)\n");
  EXPECT_EQ(written([] {
              put_text("i,om= ");
              put_integer(1);
              put_real(0.1f);
            }),
            " i,om=  1  0.100000001\n");
  EXPECT_EQ(written([] {
              put_integer(1);
              put_text(",");
              put_real(0.5f);
            }),
            " 1,  0.5\n");
  EXPECT_EQ(written([] {
              put_integer(5);
              put_integer(-3);
              put_integer(2512);
            }),
            " 5 -3 2512\n");
}

// The 80-column rule: an item that would reach column 80 starts a new
// record; a text item there gets its blank, a number its own characters.
TEST_F(Records, LineBreakAtColumn80) {
  std::string a(70, 'a');
  EXPECT_EQ(written([&] {
              put_text(a);          // position 71
              put_text("12345678"); // 71 + 8 = 79: fits
            }),
            " " + a + "12345678\n");
  EXPECT_EQ(written([&] {
              put_text(a);
              put_text("123456789");  // 71 + 9 = 80: new record
            }),
            " " + a + "\n 123456789\n");
  EXPECT_EQ(written([&] {
              put_text(a);
              put_real(0.1f);  // 13 characters
            }),
            " " + a + "\n  0.100000001\n");
  EXPECT_EQ(written([&] {
              put_text(std::string(77, 'b'));  // position 78
              put_integer(-5);                 // one digit: 79, fits
            }),
            " " + std::string(77, 'b') + " -5\n");
}

// Input: blanks, line ends, separators, null values and the slash.
TEST_F(Records, ReadsAnswers) {
  const struct {
    const char* text;
    float value;
  } rows[] = {
      {"4.65\n", 4.65f},       {"  6  \n", 6.0f},     {"6 (Hz)\n", 6.0f},
      {"6,7\n", 6.0f},         {"\n\n6\n", 6.0f},     {"1.5e-3\n", 0.0015f},
      {"1.5D-3\n", 0.0015f},   {"1.5d-3\n", 0.0015f}, {"1.5-3\n", 0.0015f},
      {"1.5E+3\n", 1500.0f},   {"1.5+3\n", 1500.0f},  {"+.5\n", 0.5f},
      {"-.5\n", -0.5f},        {"5.\n", 5.0f},        {"\t7\r\n", 7.0f},
      {"007\n", 7.0f},         {"6Q3\n", 6.0f},       {"2*3.5\n", 3.5f},
      {",\n", -7.0f},          {"/\n", -7.0f},        {"+,\n", -7.0f},
      {"3*\n", -7.0f},         {"-0\n", -0.0f},
  };
  for (const auto& r : rows) EXPECT_EQ(read_one(r.text), r.value) << r.text;
  // The nearest double first, then single precision: 4.65 -> 4.65000009537.
  EXPECT_EQ(static_cast<double>(read_one("4.65\n")), 4.650000095367431640625);
  // 40 significant digits take part; further ones before the point scale.
  EXPECT_EQ(read_one("1" + std::string(60, '0') + "\n"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(read_one("0." + std::string(60, '0') + "1e70\n"), 1e9f);
  EXPECT_EQ(read_one("1" + std::string(45, '0') + "e-40\n"), 1e5f);
}

// Lists: separators, repeat counts and null values across several items.
TEST_F(Records, ReadsLists) {
  using V = std::vector<float>;
  const float u = -7;  // unchanged
  const struct {
    const char* text;
    V values;
  } rows[] = {
      {"    0.01,        0.00000,        0.00000,        0.00000,\n", V{0.01f, 0, 0, 0}},
      {"1 2\n3\n\n4\n", V{1, 2, 3, 4}},
      {"1,,3,4\n", V{1, u, 3, 4}},
      {"1/\n2 3 4\n", V{1, u, u, u}},
      {"3*5,7\n", V{5, 5, 5, 7}},
      {"3*5,,7\n", V{5, 5, 5, u}},
      {"2*,8 9\n", V{u, u, 8, 9}},
      {"2* 8 9\n", V{u, u, 8, 9}},
      {"1 3*2\n", V{1, 2, 2, 2}},
      {"1,2,3,4,5\n", V{1, 2, 3, 4}},
  };
  for (const auto& r : rows) EXPECT_EQ(read_list(r.text, 4), r.values) << r.text;
}

// A last line without its line end reads normally; the next statement
// finds the channel at its end.
TEST_F(Records, EndWithoutLineEnd) {
  EXPECT_EQ(read_one("2.5"), 2.5f);
  EXPECT_DEATH(
      {
        const TempDir& dir = scratch;
        dir.write("f", "2.5");
        open_file_channel(dir.file("f").c_str(), "old");
        float x;
        begin_free_read(unit_file);
        get_real(x);
        end_free_read();
        begin_free_read(unit_file);
      },
      "^read start: end of file\napparent state: unit 10 named /tmp/[^\n]*/f\n"
      "last format: list io\nlately reading sequential formatted external IO\n$");
}

// Every failure of the input table ends the run with its report.
TEST_F(Records, InputFailures) {
  const struct {
    const char* text;
    const char* first_line;
  } rows[] = {
      {"abc\n", "invalid number: incomprehensible list input"},
      {"-x\n", "invalid number: incomprehensible list input"},
      {"1e\n", "exponent field: incomprehensible list input"},
      {"1.5-\n", "exponent field: incomprehensible list input"},
      {"1e100000000\n", "exponent field: incomprehensible list input"},
      {"*****\n", "bad repetition count: incomprehensible list input"},
      {"0*5\n", "bad repetition count: incomprehensible list input"},
      {"-2*5\n", "bad repetition count: incomprehensible list input"},
      {"2.5*1\n", "bad repetition count: incomprehensible list input"},
      {"", "list in: end of file"},
      {"\n\n  \n", "list in: end of file"},
  };
  for (const auto& r : rows) {
    EXPECT_DEATH(read_one(r.text), std::string("^") + r.first_line +
                                       "\napparent state: unit 10 named [^\n]*\n"
                                       "last format: list io\n"
                                       "lately reading sequential formatted external IO\n$")
        << r.text;
  }
  // The largest exponent that may be read is accepted.
  EXPECT_EQ(read_one("1e99999999\n"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(read_one("1e-99999999\n"), 0.0f);
  // Beyond the range of doubles the sign stays: an infinity or a zero.
  EXPECT_EQ(read_one("-1e99999999\n"), -std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::signbit(read_one("-1e-99999999\n")));
  EXPECT_TRUE(std::signbit(read_one("-0.000\n")));
}

// Fixed-field rendering: the five field kinds of the program.
TEST_F(Records, FixedFields) {
  const struct {
    float v;
    const char *f82, *f84, *f155, *f53, *e155;
  } rows[] = {
      {0.01f, "    0.01", "  0.0100", "        0.01000", "0.010", "    0.10000E-01"},
      {4.65f, "    4.65", "  4.6500", "        4.65000", "4.650", "    0.46500E+01"},
      {123456.789f, "********", "********", "   123456.78906", "*****", "    0.12346E+06"},
      {-0.000004f, "    0.00", "  0.0000", "        0.00000", "0.000", "   -0.40000E-05"},
      {1.0e-20f, "    0.00", "  0.0000", "        0.00000", "0.000", "    0.10000E-19"},
      {0.5f, "    0.50", "  0.5000", "        0.50000", "0.500", "    0.50000E+00"},
      {-0.5f, "   -0.50", " -0.5000", "       -0.50000", "-.500", "   -0.50000E+00"},
      {-0.004f, "    0.00", " -0.0040", "       -0.00400", "-.004", "   -0.40000E-02"},
      {0.9996f, "    1.00", "  0.9996", "        0.99960", "1.000", "    0.99960E+00"},
      {12.5f, "   12.50", " 12.5000", "       12.50000", "*****", "    0.12500E+02"},
      {99999.996f, "99999.99", "********", "    99999.99219", "*****", "    0.10000E+06"},
      {0.0f, "    0.00", "  0.0000", "        0.00000", "0.000", "    0.00000E+00"},
      {-0.0f, "    0.00", "  0.0000", "        0.00000", "0.000", "    0.00000E+00"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(fixed_point_field(r.v, 8, 2), r.f82) << r.v;
    EXPECT_EQ(fixed_point_field(r.v, 8, 4), r.f84) << r.v;
    EXPECT_EQ(fixed_point_field(r.v, 15, 5), r.f155) << r.v;
    EXPECT_EQ(fixed_point_field(r.v, 5, 3), r.f53) << r.v;
    EXPECT_EQ(exponent_field(r.v, 15, 5), r.e155) << r.v;
  }
}

// The edges of the fixed-point overflow and of the exponent field.
TEST_F(Records, FixedFieldEdges) {
  EXPECT_EQ(fixed_point_field(-0.999f, 5, 3), "-.999");
  EXPECT_EQ(fixed_point_field(-1.0f, 5, 3), "*****");
  EXPECT_EQ(fixed_point_field(10.0f, 5, 3), "*****");
  EXPECT_EQ(fixed_point_field(9.9994f, 5, 3), "9.999");
  EXPECT_EQ(fixed_point_field(99999.99f, 8, 2), "99999.99");
  EXPECT_EQ(fixed_point_field(99999.999f, 8, 2), "********");
  EXPECT_EQ(exponent_field(-0.000004f, 8, 5), "********");  // no room for the sign
  EXPECT_EQ(exponent_field(0.000004f, 10, 5), ".40000E-05");
  EXPECT_EQ(exponent_field(0.000004f, 11, 5), "0.40000E-05");  // one spare column: the 0
  EXPECT_EQ(exponent_field(3.4e38f, 15, 5), "    0.34000E+39");
  EXPECT_EQ(exponent_field(1.4e-45f, 15, 5), "    0.14013E-44");
  // Infinities and NaN: the library's text, right-aligned, no sign on NaN.
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(fixed_point_field(inf, 15, 5), "            inf");
  EXPECT_EQ(fixed_point_field(-inf, 15, 5), "           -inf");
  EXPECT_EQ(fixed_point_field(-nan, 15, 5), "            nan");
  EXPECT_EQ(fixed_point_field(-inf, 3, 3), "***");
  EXPECT_EQ(exponent_field(-inf, 15, 5), "           -INF");
  EXPECT_EQ(exponent_field(-nan, 15, 5), "            NAN");
}

// A whole row: literals after every field, the last one included.
TEST_F(Records, FixedRow) {
  const Layout row("(f8.2,\",\",3(f15.5,\",\"))");
  ASSERT_EQ(row.items.size(), 8u);
  TempDir dir;
  open_file_channel(dir.file("f").c_str(), "unknown");
  begin_fixed_write(unit_file, row);
  for (float v : {0.01f, 0.0f, 0.0f, 0.0f}) put_fixed_real(v);
  end_fixed_write();
  close_file_channel();
  EXPECT_EQ(dir.read("f"), "    0.01,        0.00000,        0.00000,        0.00000,\n");
}

// The file channel: a longer old file is cut after the new last record; a
// shorter one is extended; "old" needs the file to exist.
TEST_F(Records, FileChannel) {
  TempDir dir;
  dir.write("f", std::string(1000, 'z'));
  open_file_channel(dir.file("f").c_str(), "unknown");
  begin_free_write(unit_file);
  put_text("new");
  end_free_write();
  close_file_channel();
  EXPECT_EQ(dir.read("f"), " new\n");
  EXPECT_DEATH(open_file_channel(dir.file("missing").c_str(), "old"),
               "^open: No such file or directory\napparent state: unit 10 named [^\n]*missing\n");
}

}  // namespace

namespace {

// System errors above 99 (a full disk quota, 122 on Linux) are still told in
// the system's words, never as an unknown number.
TEST(Report, SystemErrorsAbove99) {
  connect_standard_channels();
  EXPECT_DEATH(fail_run(EDQUOT, "write"), "^write: Disk quota exceeded\napparent state: unit ");
  EXPECT_DEATH(fail_run(err_cant_write, "write start"), "^write start: can't write file\n");
}

}  // namespace
