// The run driver: it owns every array and scalar of the run and calls the
// stages in their fixed order.
#include "program/driver.h"

#include <cstring>

#include "records/channel.h"
#include "records/end_signal.h"
#include "records/free_format.h"
#include "records/run.h"
#include "pulse/pulse_times.h"
#include "pulse/vslip.h"
#include "program/write_slip_a.h"
#include "program/write_slip_t.h"
#include "program/read_slip_t.h"
#include "program/write_parameter.h"
#include "program/write_triangles.h"

namespace {

struct Run {
  Samples tm, rate;
  // The answers start at 0: a null answer leaves its parameter there.
  float fmax = 0, td = 0, slip = 0, vm = 0, ts = 0, tr = 0;
  Picks picks;
  Windows win;
};

Run run;

void prompt(const char* text, float& answer) {
  write_text_record(unit_output, "");
  write_text_record(unit_output, text);
  begin_free_read(unit_input);
  get_real(answer);
  end_free_read();
}

void echo(const char* a, float x, const char* ux, float y, const char* uy) {
  write_text_record(unit_output, "");
  begin_free_write(unit_output);
  put_text(a);
  put_real(x);
  put_text(ux);
  put_real(y);
  put_text(uy);
  end_free_write();
}

// A search that cannot end is stopped before any file is written.
[[noreturn]] void no_convergence(float td) {
  char line[96] = "slip-velocity search does not converge for td = ";
  size_t n = std::strlen(line);
  line[n + render_real(line + n, td)] = '\0';
  quit_run(2, line);
}

}  // namespace

void run_driver() {
  const int nt = nt_grid;
  const float dt = grid_dt;
  Run& r = run;

  // 1. The time grid, each time the exact product rounded once.
  fill_time_grid(r.tm, nt);

  // 2. The dialogue; td and tr derived as the answers come.
  prompt("Enter fmax (Hz) [ex:6 (Hz)]", r.fmax);
  r.td = peak_time(r.fmax);
  echo("fmax,td = ", r.fmax, " (Hz)", r.td, " (s)");
  prompt("Enter slip (m) [ex:4.65 (m)]", r.slip);
  prompt("Enter vm (m/s) [ex:4.32 (m/s)]", r.vm);
  echo("slip, vm = ", r.slip, " (m)", r.vm, " (m/s)");
  prompt("Enter ts [ex:2.8 (s)]", r.ts);
  r.tr = decay_end(r.ts);
  echo("ts, tr = ", r.ts, " (s)", r.tr, " (s)");

  // 3. The slip-velocity samples.
  //    A long search asks whether an end signal came; one that did ends
  //    the run by its message and status, not by the search's stop.
  SlipSearch s = vslip(r.tm, r.rate, nt, r.slip, r.td, r.vm, r.tr, r.ts,
                       [] { return end_signal() != 0; });
  if (!s.converged) end_if_signalled(), no_convergence(r.td);

  // 4. The stages, each on the single file channel in turn. The spectra
  //    use the computed samples; everything after the read-back uses the
  //    values as the file holds them.
  write_slip_t(nt, dt, r.tm, r.rate);
  write_slip_a(nt, dt, r.rate);
  read_slip_t(nt, r.td, r.tr, r.ts, r.tm, r.rate, r.picks);
  write_slip_vel_5triangle(nt, r.vm, r.tm, r.rate, r.picks, r.win);
  write_parameter(r.td, r.vm, r.tr, r.ts, r.slip, r.picks, r.win);
  stop_run();
}
