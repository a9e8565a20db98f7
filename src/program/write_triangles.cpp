// The five-triangle series file: every sample with the five triangles of
// the time windows and their sum.
#include "records/channel.h"
#include "records/fixed_format.h"
#include "records/free_format.h"
#include "program/write_triangles.h"
#include "program/time_windows.h"

namespace {

const Layout row("(f8.2,\",\",7(f15.5,\",\"))");

void write_row(const float* values) {
  begin_fixed_write(unit_file, row);
  for (int k = 0; k < 8; k++) put_fixed_real(values[k]);
  end_fixed_write();
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
    triangles_at(tm(i), w, p.v_ts, values + 2, values[7]);
    write_row(values);
  }
  close_file_channel();
  set_areas(w);
}
