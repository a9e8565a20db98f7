#include "pictures/plot_layout.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int canvas_width = 1800;
constexpr double title_band = 70;          // the figure's title lines
constexpr double panel_slot = canvas_width / 3.0;
constexpr double margin_left = 75;         // tics and the down-dip label
constexpr double margin_right = 115;       // colour box, its tics and label
constexpr double margin_top = 45;          // the panel's title
constexpr double margin_bottom = 55;       // tics and the along-strike label
constexpr double functions_height = 330;   // plot area of the slip-rate functions
constexpr double functions_key = 600;      // room on the right for the key and its box
constexpr double functions_bottom = 75;    // tics and the time label below the functions

}  // namespace

FigureLayout lay_out_figure(const std::vector<PlaneExtent>& planes) {
  FigureLayout layout;
  layout.width = canvas_width;
  double area_width = panel_slot - margin_left - margin_right;
  double y = title_band;
  for (const PlaneExtent& p : planes) {
    double ratio = p.length > 0 && p.width > 0 ? p.width / p.length : 1;
    ratio = std::clamp(ratio, 0.25, 1.2);
    double area_height = std::round(area_width * ratio);
    std::vector<Box> row;
    for (int c = 0; c < 3; c++) {
      double left = c * panel_slot + margin_left;
      row.push_back({left, y + margin_top, left + area_width, y + margin_top + area_height});
    }
    layout.rows.push_back(row);
    y += margin_top + area_height + margin_bottom;
  }
  layout.functions = {margin_left + 20, y + margin_top, canvas_width - functions_key,
                      y + margin_top + functions_height};
  layout.height = static_cast<int>(y + margin_top + functions_height + functions_bottom);
  return layout;
}

double round_step(double span, double count) {
  if (!(span > 0) || !std::isfinite(span)) return 1;
  double raw = span / count;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  double m = raw / power;
  return (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * power;
}
