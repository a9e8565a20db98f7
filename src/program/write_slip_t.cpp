// The time histories file: slip by the trapezoidal rule, acceleration by a
// backward difference, both carried in single precision from row to row.
#include "records/channel.h"
#include "records/fixed_format.h"
#include "records/free_format.h"
#include "pulse/histories.h"
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

  Samples slip, acc;
  slip_histories(nt, dt, rate, slip, acc);
  for (int i = 1; i <= nt; i++) write_row(tm(i), slip(i), rate(i), acc(i));
  close_file_channel();
}
