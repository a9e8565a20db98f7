// The gnuplot figure of a run: plot/slipvel.gp reads the four files of the
// example run and writes slipvel.png and slipvel.svg next to them.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>

#include "support/run_program.h"

#ifndef SLIPVEL_SOURCE_DIR
#define SLIPVEL_SOURCE_DIR "."
#endif

namespace {

const std::string script = std::string(SLIPVEL_SOURCE_DIR) + "/plot/slipvel.gp";

bool have_gnuplot() {
  TempDir scratch;
  return run_shell("command -v gnuplot", scratch).code == 0;
}

// Exit status of a shell command, or -1 if it did not exit normally.
int shell(const std::string& command) {
  TempDir scratch;
  return run_shell(command, scratch).code;
}

// The canvas size that the script sets, e.g. "width = 1400".
int script_setting(const std::string& name) {
  std::smatch m;
  std::string text = read_file(script);
  if (!std::regex_search(text, m, std::regex("(^|\n)" + name + " = ([0-9]+)"))) return -1;
  return std::stoi(m[2]);
}

uint32_t big_endian(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; k++) v = v << 8 | static_cast<unsigned char>(bytes[at + k]);
  return v;
}

}  // namespace

// `make plot` runs the script with only the folder given: both images must
// appear in that folder, the PNG at the canvas size the script asks for, and
// the SVG with the four panels and the values read from parameter.csv.
TEST(Plot, ExampleRunRendersFourPanelsAsPngAndSvg) {
  if (!have_gnuplot()) GTEST_SKIP() << "gnuplot is not installed";
  TempDir dir;
  RunResult run = run_slipvel(dir.path, example_answers);
  ASSERT_TRUE(run.exited && run.code == 0) << run.err;

  std::string command = "gnuplot -e \"dir='" + dir.path + "'\" '" + script + "' 2> '" +
                        dir.file("gnuplot.err") + "'";
  ASSERT_EQ(shell(command), 0) << dir.read("gnuplot.err");

  // PNG: the 8-byte signature, then the IHDR chunk with width and height.
  std::string png = dir.read("slipvel.png");
  ASSERT_GE(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  int width = script_setting("width"), height = script_setting("height");
  ASSERT_GT(width, 0);
  ASSERT_GT(height, 0);
  EXPECT_EQ(big_endian(png, 16), static_cast<uint32_t>(width));
  EXPECT_EQ(big_endian(png, 20), static_cast<uint32_t>(height));

  std::string svg = dir.read("slipvel.svg");
  for (const char* panel : {"Slip velocity and five triangles", "Slip history",
                            "Slip acceleration", "Amplitude spectra"})
    EXPECT_NE(svg.find(std::string(">") + panel + "<"), std::string::npos) << panel;
  // Parameter row as written, a window peak time, and fmax recovered from td.
  for (const char* text : {"td = 0.053 s    Vm = 4.320 m/s    tr = 1.867 s    ts = 2.800 s",
                           "slip = 4.650 m", "tr2 = 1.870 s (V = 1.397 m/s)",
                           "tr/8 ≈ 0.23 s", "tr/4 ≈ 0.47 s", "tr/2 ≈ 0.93 s",
                           "fmax ≈ 1/(π·td) = 6.01 Hz", "4.64759 m at 10.00 s"})
    EXPECT_NE(svg.find(text), std::string::npos) << text;
}

// A folder without the run's files is an error, not an empty figure.
TEST(Plot, FolderWithoutRunFilesFails) {
  if (!have_gnuplot()) GTEST_SKIP() << "gnuplot is not installed";
  TempDir dir;
  std::string command = "gnuplot -e \"dir='" + dir.path + "'\" '" + script + "' 2> /dev/null";
  EXPECT_NE(shell(command), 0);
  EXPECT_FALSE(dir.exists("slipvel.png") && dir.exists("slipvel.svg"));
}
