// The amplitude spectra file: the velocity spectrum by the direct Fourier
// integral; slip and acceleration spectra divide and multiply it by om.
#include "records/channel.h"
#include "records/fixed_format.h"
#include "records/free_format.h"
#include "pulse/spectrum.h"
#include "pulse/spectrum_lines.h"
#include "program/write_slip_a.h"

namespace {

const Layout row("(f8.4,\",\",3(e15.5,\",\"))");
constexpr int block = 32;  // lines computed together

void write_progress(int i, float om) {
  begin_free_write(unit_output);
  put_text("i,om= ");
  put_integer(i);
  put_real(om);
  end_free_write();
}

void write_row(float om, float amp) {
  SpectrumRow r = spectrum_row(om, amp);
  begin_fixed_write(unit_file, row);
  put_fixed_real(r.freq);
  put_fixed_real(r.dis);
  put_fixed_real(r.vel);
  put_fixed_real(r.acc);
  end_fixed_write();
}

}  // namespace

void write_slip_a(int nt, float dt, const Samples& rate) {
  open_file_channel("slip_a.csv", "unknown");
  write_text_record(unit_file, "freq (Hz),slip_a (dis),slip_a (vel),slip_a (acc)");

  // Each line's progress record goes out before its sum is computed and
  // before its row is written.
  for (int first = 1; first <= nline; first += block) {
    int n = first + block - 1 <= nline ? block : nline - first + 1;
    float om[block], amp[block];
    for (int k = 0; k < n; k++) {
      om[k] = line_om(first + k);
      write_progress(first + k, om[k]);
    }
    spectrum_lines(rate, nt, dt, om, n, amp);
    for (int k = 0; k < n; k++) write_row(om[k], amp[k]);
  }
  close_file_channel();
}
