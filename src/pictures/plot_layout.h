#pragma once
// Where the panels of a fault's figure go on the canvas, in pixels from the
// top left: one row of three plane panels (slip, peak slip rate, duration)
// per segment, the slip-rate functions below across the whole width.
#include <vector>

struct Box {
  double left = 0, top = 0, right = 0, bottom = 0;  // the plot area, px
  double width() const { return right - left; }
  double height() const { return bottom - top; }
};

struct PlaneExtent {
  double length = 1, width = 1;  // km along strike and down dip
};

struct FigureLayout {
  int width = 0, height = 0;          // canvas, px
  std::vector<std::vector<Box>> rows;  // per segment: its three plane panels
  Box functions;                       // the slip-rate functions
};

// The canvas is 1800 px wide. A plane is drawn to scale while its width is
// between a quarter and 1.2 times its length; beyond, its down-dip axis is
// stretched or squeezed to that limit (the axes say the km).
FigureLayout lay_out_figure(const std::vector<PlaneExtent>& planes);

// A round step (1, 2 or 5 times a power of ten) that cuts `span` into
// about `count` parts.
double round_step(double span, double count);
