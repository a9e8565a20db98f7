// The time histories file: slip by the trapezoidal rule, acceleration by a
// backward difference, both carried in single precision from row to row.
#include "records/channel.h"
#include "records/fixed_format.h"
#include "records/free_format.h"
#include "program/write_slip_t.h"

namespace {

const Layout row("(f8.2,\",\",3(f15.5,\",\"))");

void write_row(float t, float d, float v, float a) {
  begin_fixed_write(unit_file, row);
  put_fixed_real(t);
  put_fixed_real(d);
  put_fixed_real(v);
  put_fixed_real(a);
  end_fixed_write();
}

}  // namespace

void write_slip_t(int nt, float dt, const Samples& tm, const Samples& rate) {
  open_file_channel("slip_t.csv", "unknown");
  write_text_record(unit_file, "time (s),slip_t (dis),slip_t (vel),slip_t (acc)");

  // The first row has no step behind it: slip and acceleration are 0.
  float d0 = 0, a0 = 0;
  write_row(tm(1), d0, rate(1), a0);
  for (int i = 2; i <= nt; i++) {
    double v0 = rate(i - 1), v1 = rate(i);
    float d1 = static_cast<float>((v1 + v0) * dt / 2 + d0);
    float a1 = static_cast<float>((v1 - v0) / dt);
    write_row(tm(i), d1, rate(i), a1);
    d0 = d1;
  }
  close_file_channel();
}
