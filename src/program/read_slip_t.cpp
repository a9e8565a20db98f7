// Read-back of the time histories and the samples nearest to the
// characteristic times td, tr, ts, tr/2, tr/4 and tr/8.
#include "records/channel.h"
#include "records/free_format.h"
#include "program/read_slip_t.h"
#include "program/time_windows.h"

namespace {

void read_row(float& t, float& d, float& v, float& a) {
  begin_free_read(unit_file);
  get_real(t);
  get_real(d);
  get_real(v);
  get_real(a);
  end_free_read();
}

}  // namespace

void read_slip_t(int nt, float td, float tr, float ts, Samples& tm,
                 Samples& rate, Picks& p) {
  open_file_channel("slip_t.csv", "old");
  begin_free_read(unit_file);  // the header: one record, whatever it holds
  end_free_read();

  // Slip and acceleration are read past: only the time and the velocity
  // go on.
  float d = 0, a = 0;
  for (int i = 1; i <= nt; i++) read_row(tm(i), d, rate(i), a);
  close_file_channel();
  pick_samples(nt, td, tr, ts, tm, rate, p);
}
