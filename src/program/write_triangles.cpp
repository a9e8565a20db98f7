// Five triangular time windows, all starting at time 0: triangle k peaks at
// a picked time and ends where the next wider one peaks.
#include "records/channel.h"
#include "records/fixed_format.h"
#include "records/free_format.h"
#include "program/write_triangles.h"

namespace {

const Layout row("(f8.2,\",\",7(f15.5,\",\"))");

void write_row(const float* values) {
  begin_fixed_write(unit_file, row);
  for (int k = 0; k < 8; k++) put_fixed_real(values[k]);
  end_fixed_write();
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

void write_slip_vel_5triangle(int nt, float vm, const Samples& tm,
                              const Samples& rate, const Picks& p, Windows& w) {
  open_file_channel("slip_vel-5triangle.csv", "unknown");
  write_text_record(unit_file, "time (s),slip_t (vel),tri_1,tri_2,tri_3,tri_4,tri_5,sum_tri");

  // Sample 1 is written with zero triangles, never evaluated.
  const float first[8] = {tm(1), rate(1), 0, 0, 0, 0, 0, 0};
  write_row(first);

  set_geometry(vm, p, w);
  for (int i = 2; i <= nt; i++) {
    float values[8] = {tm(i), rate(i)};
    double sum = 0;
    for (int k = 0; k < 5; k++) {
      // Triangle 1 ends at the velocity at ts2; the others end at zero.
      float tri = triangle(tm(i), w.x2[k], w.x3[k], w.y2[k], k == 0 ? p.v_ts : 0);
      values[2 + k] = tri;
      sum += tri;
    }
    values[7] = static_cast<float>(sum);
    write_row(values);
  }
  close_file_channel();

  // Area of the triangle (0,0), (x2, y2), (x3, 0); the step up by v_ts
  // after the first peak does not count.
  double total = 0;
  for (int k = 0; k < 5; k++) {
    w.area[k] = static_cast<float>(static_cast<double>(w.y2[k]) * w.x3[k] / 2);
    total += w.area[k];
  }
  w.sum_area = static_cast<float>(total);
}
