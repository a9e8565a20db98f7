// slipvel.pulse and slipvel.windows: one pulse, its histories and spectra,
// and the time windows of the read-back values, as the program computes them.
#include <array>

#include "binding.h"
#include "program/time_windows.h"
#include "pulse/histories.h"
#include "pulse/pulse_times.h"
#include "pulse/spectrum.h"
#include "pulse/spectrum_lines.h"
#include "pulse_core.h"

namespace {

struct Pulse {
  Answers answers;
  PulseTimes times;
  Samples rate;
};

std::unique_ptr<Pulse> make_pulse(const Answers& a) {
  auto p = std::make_unique<Pulse>();
  p->answers = a;
  p->times = compute_rate(a, p->rate);
  if (!p->times.converged) throw py::value_error(no_convergence(p->times.td) + " (" + answers_text(a) + ")");
  return p;
}

py::tuple histories(py::object self) {
  const Pulse& p = self.cast<const Pulse&>();
  auto slip = std::make_unique<Samples>(), acc = std::make_unique<Samples>();
  slip_histories(nt_grid, grid_dt, p.rate, *slip, *acc);
  return py::make_tuple(owned(std::move(slip), nt_grid), view(p.rate.v, nt_grid, self),
                        owned(std::move(acc), nt_grid));
}

py::tuple spectra(const Pulse& p) {
  py::array_t<float> freq(nline), dis(nline), vel(nline), acc(nline);
  std::array<float, nline> om, amp;
  {
    py::gil_scoped_release unlocked;
    for (int i = 1; i <= nline; i++) om[i - 1] = line_om(i);
    spectrum_lines(p.rate, nt_grid, grid_dt, om.data(), nline, amp.data());
  }
  float *f = freq.mutable_data(), *d = dis.mutable_data(), *v = vel.mutable_data(), *a = acc.mutable_data();
  for (int k = 0; k < nline; k++) {
    SpectrumRow r = spectrum_row(om[k], amp[k]);
    f[k] = r.freq, d[k] = r.dis, v[k] = r.vel, a[k] = r.acc;
  }
  return py::make_tuple(freq, dis, vel, acc);
}

// The run after the spectra: slip_t.csv as read back, the picks, the five
// triangles and the summary.
struct TimeWindows {
  Answers answers;
  PulseTimes times;
  Samples tm, rate;  // as read back
  Picks picks;
  Windows win;
  std::array<Samples, 6> tri;  // triangles 1..5 and their sum
};

std::unique_ptr<TimeWindows> make_windows(const Answers& a) {
  std::unique_ptr<Pulse> p = make_pulse(a);
  auto w = std::make_unique<TimeWindows>();
  w->answers = a;
  w->times = p->times;
  Samples slip, acc;
  slip_histories(nt_grid, grid_dt, p->rate, slip, acc);
  const Samples& tm = time_grid();
  for (int i = 1; i <= nt_grid; i++) {
    // The row as slip_t.csv holds it; the file's line i + 1.
    const float values[4] = {tm(i), slip(i), p->rate(i), acc(i)};
    float back[4];
    const char* what = nullptr;
    for (int k = 0; k < 4; k++)
      if (!read_back(values[k], k == 0 ? 8 : 15, k == 0 ? 2 : 5, back[k], what))
        throw py::value_error("the program's run ends reading back slip_t.csv, line " + std::to_string(i + 1) +
                              ": " + what + " (" + answers_text(a) + ")");
    w->tm(i) = back[0];
    w->rate(i) = back[2];
  }
  pick_samples(nt_grid, w->times.td, w->times.tr, a.ts, w->tm, w->rate, w->picks);
  set_geometry(a.vm, w->picks, w->win);
  for (int i = 2; i <= nt_grid; i++) {
    float tri[5], sum;
    triangles_at(w->tm(i), w->win, w->picks.v_ts, tri, sum);
    for (int k = 0; k < 5; k++) w->tri[static_cast<size_t>(k)](i) = tri[k];
    w->tri[5](i) = sum;
  }
  set_areas(w->win);
  return w;
}

// A function of the four answers taken from Python, computed without the
// interpreter's lock.
template <class Make>
auto of_answers(Make make) {
  return [make](py::handle fmax, py::handle slip, py::handle vm, py::handle ts) {
    Answers a = answers_args(fmax, slip, vm, ts);
    py::gil_scoped_release unlocked;
    return make(a);
  };
}

py::array_t<float> five(const float* v) { return py::array_t<float>(5, v); }

}  // namespace

void bind_pulse(py::module_& m) {
  py::class_<Pulse>(m, "Pulse",
                    "A slip-velocity pulse on the program's grid of 1001 samples, 0 to 10 s (slipvel.pulse).")
      .def_property_readonly("t", [](py::object self) { return view(time_grid().v, nt_grid, self); },
                             "Sample times (s), float32, read-only.")
      .def_property_readonly(
          "rate", [](py::object self) { return view(self.cast<const Pulse&>().rate.v, nt_grid, self); },
          "Slip velocity (m/s) at each sample, float32, read-only.")
      .def_property_readonly("td", [](const Pulse& p) { return p.times.td; }, "Time of the peak velocity (s).")
      .def_property_readonly("tr", [](const Pulse& p) { return p.times.tr; }, "End of the decay (s).")
      .def_property_readonly("tb", [](const Pulse& p) { return p.times.tb; },
                             "Boundary between rise and decay found by the search (s).")
      .def_property_readonly("fmax", [](const Pulse& p) { return p.answers.fmax; })
      .def_property_readonly("slip", [](const Pulse& p) { return p.answers.slip; })
      .def_property_readonly("vm", [](const Pulse& p) { return p.answers.vm; })
      .def_property_readonly("ts", [](const Pulse& p) { return p.answers.ts; })
      .def("histories", &histories,
           "(slip, velocity, acceleration): slip (m) by the trapezoidal rule, the velocity (m/s) and the "
           "acceleration (m/s^2) by a backward difference, as slip_t.csv holds them before printing.")
      .def("spectra", &spectra,
           "(freq, slip, velocity, acceleration): the frequencies (Hz) of the 2512 angular frequencies "
           "0.1 .. 251.2 rad/s and the amplitude spectra there, as slip_a.csv holds them before printing.")
      .def("__repr__", [](const Pulse& p) { return "<slipvel.Pulse " + answers_text(p.answers) + ">"; });

  m.def("pulse", of_answers(make_pulse), py::arg("fmax"), py::arg("slip"), py::arg("vm"), py::arg("ts"),
      "The pulse of the four answers fmax (Hz), slip (m), vm (m/s), ts (s), each rounded to float32 as "
      "the program reads it. Raises ValueError where the program's search does not end.");

  py::class_<TimeWindows>(m, "TimeWindows",
                          "The five time windows of slipvel.windows, from the values slip_t.csv holds.")
      .def_property_readonly("t", [](py::object self) { return view(self.cast<const TimeWindows&>().tm.v, nt_grid, self); },
                             "Sample times as read back (s).")
      .def_property_readonly(
          "rate", [](py::object self) { return view(self.cast<const TimeWindows&>().rate.v, nt_grid, self); },
          "Slip velocity as read back, to the 5 decimals of slip_t.csv (m/s).")
      .def_property_readonly(
          "triangles",
          [](py::object self) {
            const TimeWindows& w = self.cast<const TimeWindows&>();
            py::array_t<float> a({5, nt_grid});
            for (int k = 0; k < 5; k++)
              std::copy_n(w.tri[static_cast<size_t>(k)].v, nt_grid, a.mutable_data(k, 0));
            return a;
          },
          "The five triangles at every sample, 5 x 1001 (m/s); 0 at sample 1.")
      .def_property_readonly(
          "sum", [](py::object self) { return view(self.cast<const TimeWindows&>().tri[5].v, nt_grid, self); },
          "The sum of the five triangles at every sample (m/s).")
      .def_property_readonly("x2", [](const TimeWindows& w) { return five(w.win.x2); }, "Peak times (s).")
      .def_property_readonly("x3", [](const TimeWindows& w) { return five(w.win.x3); }, "End times (s).")
      .def_property_readonly("y2", [](const TimeWindows& w) { return five(w.win.y2); }, "Peak heights (m/s).")
      .def_property_readonly("area", [](const TimeWindows& w) { return five(w.win.area); }, "Areas (m).")
      .def_property_readonly("sum_area", [](const TimeWindows& w) { return w.win.sum_area; })
      .def_property_readonly(
          "picks",
          [](const TimeWindows& w) {
            const Picks& p = w.picks;
            py::dict d;
            const std::pair<const char*, float> items[] = {
                {"td2", p.td2},     {"tr2", p.tr2},       {"v_tr", p.v_tr},   {"ts2", p.ts2},
                {"v_ts", p.v_ts},   {"tr2_2", p.tr2_2},   {"v_tr_2", p.v_tr_2}, {"tr2_3", p.tr2_3},
                {"v_tr_3", p.v_tr_3}, {"tr2_4", p.tr2_4}, {"v_tr_4", p.v_tr_4}};
            for (const auto& [name, value] : items) d[name] = value;
            return d;
          },
          "The samples picked nearest to td, tr, ts, tr/2, tr/4, tr/8 and the velocities there.")
      .def_property_readonly(
          "parameters",
          [](const TimeWindows& w) {
            const Picks& p = w.picks;
            const float v[11] = {w.times.td, w.answers.vm, w.times.tr, w.answers.ts, w.answers.slip, p.td2,
                                 w.answers.vm, p.tr2, p.v_tr, p.ts2, p.v_ts};
            return py::array_t<float>(11, v);
          },
          "The parameter row of parameter.csv: td, vm, tr, ts, slip, td2, vm, tr2, v_tr, ts2, v_ts.")
      .def_property_readonly(
          "table",
          [](const TimeWindows& w) {
            py::array_t<float> a({5, 3});
            for (int k = 0; k < 5; k++) {
              WindowRow r = window_row(w.win, k);
              *a.mutable_data(k, 0) = r.rise1, *a.mutable_data(k, 1) = r.rise2, *a.mutable_data(k, 2) = r.ratio;
            }
            return a;
          },
          "The window table of parameter.csv, 5 x 3: first-half rise time (s), second-half rise time (s), "
          "share of the total area.");

  m.def("windows", of_answers(make_windows), py::arg("fmax"), py::arg("slip"), py::arg("vm"), py::arg("ts"),
      "The five-window approximation of the pulse and the parameter summary, from the values as the "
      "program reads slip_t.csv back. Raises ValueError where the program's run fails: the search does "
      "not end, or a value of slip_t.csv does not read back (a field of asterisks, nan, inf).");
}
