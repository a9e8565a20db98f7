// Read-back of the time histories and the samples nearest to the
// characteristic times td, tr, ts, tr/2, tr/4 and tr/8.
#include <cmath>

#include "records/channel.h"
#include "records/free_format.h"
#include "program/read_slip_t.h"

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

  float d0 = 0, a0 = 0, d1 = 0, a1 = 0;
  read_row(tm(1), d0, rate(1), a0);

  // A characteristic time that no later row comes nearer to (at or before
  // 0, halfway to the first step, or not a number) keeps sample 1.
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
    read_row(tm(i), d1, rate(i), a1);
    // Strictly nearer than the row before: ties go to the earlier sample.
    for (Target& g : targets) {
      if (std::fabs(tm(i) - g.c) < std::fabs(tm(i - 1) - g.c)) {
        *g.time = tm(i);
        if (g.v) *g.v = rate(i);
      }
    }
  }
  close_file_channel();
}
