// The figure's gnuplot program, read as text: rupture-time labels that stay
// inside the slip panel and clear of each other, the roles' marks in the
// key, and a file without slip drawn on a time axis of a second.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "pictures/plot_layout.h"
#include "pictures/plot_program.h"
#include "support/tool_support.h"

namespace {

struct Text : TextSink {
  std::string text;
  void put(std::string_view t) override { text += t; }
};

std::string program_for(const std::string& description, const std::string& name) {
  TempDir dir;
  dir.write("f.toml", description);
  EXPECT_EQ(run_fault(dir.path, {"f.toml"}).code, 0);
  FaultFacts facts = gather_facts(dir.file("f.srf"), nullptr);
  Text sink;
  write_gnuplot_program(facts, {name, "f.png", "f.svg"}, sink);
  return sink.text;
}

// The lines of a datablock.
std::vector<std::string> block(const std::string& program, const std::string& name) {
  std::vector<std::string> lines;
  size_t at = program.find(name + " << EOD\n");
  if (at == std::string::npos) return lines;
  std::istringstream in(program.substr(at + name.size() + 8));
  for (std::string line; std::getline(in, line) && line != "EOD";) lines.push_back(line);
  return lines;
}

TEST(PlotFigure, ContourLabelsInsideThePanelAndClearOfEachOther) {
  std::string program = program_for(read_file(std::string(SLIPVEL_SOURCE_DIR) + "/examples/fault.toml"), "x");
  std::vector<std::string> labels = block(program, "$labels0");
  ASSERT_GE(labels.size(), 8u);  // levels every 0.5 s to 5.5 s, one or two each
  // The slip panel: 20 x 12 km in the layout's box; a boxed "2.5 s" is some
  // 46 x 18 px.
  Box b = lay_out_figure({{20, 12}}).rows[0][0];
  std::vector<std::pair<double, double>> px;
  for (const std::string& line : labels) {
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf %lf", &x, &y), 2) << line;
    double u = (x + 10) * b.width() / 20, v = y * b.height() / 12;
    EXPECT_GE(u, 23) << line;
    EXPECT_LE(u, b.width() - 23) << line;
    EXPECT_GE(v, 9) << line;
    EXPECT_LE(v, b.height() - 9) << line;
    for (auto [p, q] : px) EXPECT_TRUE(std::fabs(p - u) > 46 || std::fabs(q - v) > 18) << line;
    px.push_back({u, v});
  }
  // The functions' key shows each role's mark.
  EXPECT_NE(program.find("with linespoints lw 2 pt 6 "), std::string::npos);
}

TEST(PlotFigure, AFileWithoutSlipGetsATimeAxisOfASecond) {
  std::string text = fault_data("small.toml");
  text = text.substr(0, text.find("# Subfaults"));
  text.replace(text.find("slip = 0.5"), 10, "slip = 0");
  std::string program = program_for(text, "x");
  // The earliest start is the hypocentre's subfault: 0 s.
  EXPECT_NE(program.find("set yrange [0:1]\nset xrange [0:1]\n"), std::string::npos);
}

}  // namespace
