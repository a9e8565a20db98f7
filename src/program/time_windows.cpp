// Five triangular time windows, all starting at time 0: triangle k peaks at
// a picked time and ends where the next wider one peaks.
#include "program/time_windows.h"

#include <cmath>

void pick_samples(int nt, float td, float tr, float ts, const Samples& tm, const Samples& rate,
                  Picks& p) {
  // A characteristic time that no later sample comes nearer to (at or
  // before 0, halfway to the first step, or not a number) keeps sample 1.
  struct Target {
    double c;
    float* time;
    float* v;
  } targets[] = {
      {td, &p.td2, nullptr},
      {tr, &p.tr2, &p.v_tr},
      {ts, &p.ts2, &p.v_ts},
      {tr * 0.5, &p.tr2_2, &p.v_tr_2},
      {tr * 0.25, &p.tr2_3, &p.v_tr_3},
      {tr * 0.5 * 0.25, &p.tr2_4, &p.v_tr_4},
  };
  for (Target& g : targets) {
    *g.time = tm(1);
    if (g.v) *g.v = rate(1);
  }
  for (int i = 2; i <= nt; i++) {
    // Strictly nearer than the sample before: ties go to the earlier one.
    for (Target& g : targets) {
      if (std::fabs(tm(i) - g.c) < std::fabs(tm(i - 1) - g.c)) {
        *g.time = tm(i);
        if (g.v) *g.v = rate(i);
      }
    }
  }
}

// Peak times and end times from the picks; each height is the velocity at
// its peak less fixed shares (1/2, 1/4, 1/8) of the wider triangles, and the
// narrowest takes vm at td2 less the wider ones' rising edges there.
void set_geometry(float vm, const Picks& p, Windows& w) {
  const float x2[5] = {p.tr2, p.tr2_2, p.tr2_3, p.tr2_4, p.td2};
  const float x3[5] = {p.ts2, p.tr2, p.tr2_2, p.tr2_3, p.tr2_4};
  for (int k = 0; k < 5; k++) {
    w.x2[k] = x2[k];
    w.x3[k] = x3[k];
  }
  double y21 = p.v_tr;
  w.y2[0] = p.v_tr;
  double y22 = w.y2[1] = static_cast<float>(p.v_tr_2 - y21 / 2);
  double y23 = w.y2[2] = static_cast<float>(p.v_tr_3 - y22 / 2 - y21 / 4);
  double y24 = w.y2[3] = static_cast<float>(p.v_tr_4 - y23 / 2 - y22 / 4 - y21 / 8);
  double td2 = p.td2;
  w.y2[4] = static_cast<float>(vm - y21 * td2 / p.tr2 - y22 * td2 / p.tr2_2 -
                               y23 * td2 / p.tr2_3 - y24 * td2 / p.tr2_4);
}

namespace {

// Rising edge through the origin, falling edge of slope -y2/(x3 - x2)
// through (x3, y3), zero after; an unordered comparison gives zero too.
float triangle(double t, double x2, double x3, double y2, double y3) {
  if (t <= x2) return static_cast<float>(y2 / x2 * t);
  if (t > x2 && t <= x3) {
    double s = -y2 / (x3 - x2);
    return static_cast<float>(s * t + (y3 - s * x3));
  }
  return 0;
}

}  // namespace

void triangles_at(float t, const Windows& w, float v_ts, float tri[5], float& sum) {
  double total = 0;
  for (int k = 0; k < 5; k++) {
    // Triangle 1 ends at the velocity at ts2; the others end at zero.
    tri[k] = triangle(t, w.x2[k], w.x3[k], w.y2[k], k == 0 ? v_ts : 0);
    total += tri[k];
  }
  sum = static_cast<float>(total);
}

void set_areas(Windows& w) {
  // Area of the triangle (0,0), (x2, y2), (x3, 0); the step up by v_ts
  // after the first peak does not count.
  double total = 0;
  for (int k = 0; k < 5; k++) {
    w.area[k] = static_cast<float>(static_cast<double>(w.y2[k]) * w.x3[k] / 2);
    total += w.area[k];
  }
  w.sum_area = static_cast<float>(total);
}

WindowRow window_row(const Windows& w, int k) {
  return {w.x2[k], static_cast<float>(static_cast<double>(w.x3[k]) - w.x2[k]),
          static_cast<float>(static_cast<double>(w.area[k]) / w.sum_area)};
}
