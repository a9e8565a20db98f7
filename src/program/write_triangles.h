#pragma once
#include "pulse/samples.h"
#include "program/read_slip_t.h"

// The five triangular time windows, triangle k at index k - 1.
struct Windows {
  float x2[5] = {};  // peak times
  float x3[5] = {};  // end times
  float y2[5] = {};  // peak heights
  float area[5] = {};
  float sum_area = 0;
};

// Builds the five triangles, writes slip_vel-5triangle.csv, computes the areas.
void write_slip_vel_5triangle(int nt, float vm, const Samples& tm,
                              const Samples& rate, const Picks& picks, Windows& win);
