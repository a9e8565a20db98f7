// The parameter summary: source parameters, picked samples and the table of
// the five time windows with their share of the total area.
#include "records/channel.h"
#include "records/fixed_format.h"
#include "records/free_format.h"
#include "program/write_parameter.h"
#include "program/time_windows.h"

namespace {

const Layout row("(11(f5.3,\",\"))");

void text_record(const char* text) { write_text_record(unit_file, text); }

}  // namespace

void write_parameter(float td, float vm, float tr, float ts, float slip,
                     const Picks& p, const Windows& w) {
  open_file_channel("parameter.csv", "unknown");
  text_record(
      "td (s),Vm (m/s),tr (s),ts (s),slip (m),td2 (s)              ,V_td (m/s),"
      "tr2 (s),V_tr (m/s),ts2 (s),V_ts (m/s)");

  // No velocity is sampled at td2: vm stands under V_td.
  const float values[11] = {td, vm, tr, ts, slip, p.td2, vm, p.tr2, p.v_tr, p.ts2, p.v_ts};
  begin_fixed_write(unit_file, row);
  for (float v : values) put_fixed_real(v);
  end_fixed_write();

  text_record("");
  text_record("Number of Time Windows,Interval Time (s)");
  text_record("5,0");
  text_record(
      "Time Window Number,1st Half Rise Time (s)     ,2nd Half Rise Time (s),"
      "Ratio of Triangle area");

  // Window k: first-half rise time, second-half rise time, area ratio.
  for (int k = 0; k < 5; k++) {
    WindowRow r = window_row(w, k);
    begin_free_write(unit_file);
    put_integer(k + 1);
    put_text(",");
    put_real(r.rise1);
    put_text(",");
    put_real(r.rise2);
    put_text(",");
    put_real(r.ratio);
    end_free_write();
  }
  close_file_channel();
}
