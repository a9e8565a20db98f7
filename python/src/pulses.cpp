// slipvel.pulses: many pulses on all cores, without the interpreter's lock.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "binding.h"
#include "pulse_core.h"

namespace {

// An argument as a 1-D array of doubles; other shapes and types raise with
// the argument's name.
py::array_t<double> answer_array(py::handle value, const char* name) {
  if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()))
    throw py::type_error(std::string(name) + " must be a 1-D array of real numbers, not str");
  py::object a;
  try {
    a = py::module_::import("numpy").attr("ascontiguousarray")(value, "float64");
  } catch (py::error_already_set& e) {
    throw py::type_error(std::string(name) + " must be a 1-D array of real numbers (" + e.what() + ")");
  }
  auto arr = a.cast<py::array_t<double>>();
  if (arr.ndim() != 1)
    throw py::value_error(std::string(name) + " must be a 1-D array, not " + std::to_string(arr.ndim()) + "-D");
  return arr;
}

// The work shared by the threads: rows are taken in chunks from `next`.
struct Batch {
  const double *fmax, *slip, *vm, *ts;
  long n;
  float *rate, *td, *tr, *tb;
  std::vector<char> failed;
  std::atomic<long> next{0};
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable all_done;
  int running = 0;

  Answers answers(long k) const {
    return {static_cast<float>(fmax[k]), static_cast<float>(slip[k]), static_cast<float>(vm[k]),
            static_cast<float>(ts[k])};
  }

  void work() {
    constexpr long chunk = 16;  // rows taken at a time: few atomic operations, even spread
    Samples samples;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (long first; !stop.load(std::memory_order_relaxed) && (first = next.fetch_add(chunk)) < n;) {
      for (long k = first; k < std::min(n, first + chunk); k++) {
        PulseTimes p = compute_rate(answers(k), samples);
        float* row = rate + k * nt_grid;
        td[k] = p.td, tr[k] = p.tr;
        if (p.converged) {
          std::memcpy(row, samples.v, sizeof(float) * nt_grid);
          tb[k] = p.tb;
        } else {
          std::fill_n(row, nt_grid, nan);
          tb[k] = nan;
          failed[static_cast<size_t>(k)] = 1;
        }
      }
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (--running == 0) all_done.notify_all();
  }
};

py::tuple pulses(py::handle fmax_arg, py::handle slip_arg, py::handle vm_arg, py::handle ts_arg,
                 const std::string& errors, int jobs) {
  if (errors != "raise" && errors != "nan")
    throw py::value_error("errors must be \"raise\" or \"nan\", not \"" + errors + "\"");
  if (jobs < 0) throw py::value_error("jobs must be 0 (all cores) or more, not " + std::to_string(jobs));
  py::array_t<double> fmax = answer_array(fmax_arg, "fmax"), slip = answer_array(slip_arg, "slip"),
                      vm = answer_array(vm_arg, "vm"), ts = answer_array(ts_arg, "ts");
  const long n = fmax.shape(0);
  const std::pair<const char*, const py::array_t<double>*> others[] = {{"slip", &slip}, {"vm", &vm}, {"ts", &ts}};
  for (const auto& [name, a] : others)
    if (a->shape(0) != n)
      throw py::value_error(std::string(name) + " has " + std::to_string(a->shape(0)) + " values, fmax " +
                            std::to_string(n) + ": the four arrays must be of equal length");

  py::array_t<float> rate({static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(nt_grid)});
  py::array_t<float> td(n), tr(n), tb(n);
  Batch b{fmax.data(), slip.data(), vm.data(), ts.data(), n,
          rate.mutable_data(), td.mutable_data(), tr.mutable_data(), tb.mutable_data(),
          std::vector<char>(static_cast<size_t>(n))};
  int threads = jobs > 0 ? jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads = static_cast<int>(std::min<long>(threads, std::max(1L, (n + 15) / 16)));

  bool interrupted = false;
  {
    // The workers touch no Python object; the main thread waits without the
    // lock and takes it back only to look for a signal (Ctrl-C) every 50 ms.
    py::gil_scoped_release unlocked;
    std::vector<std::thread> pool;
    b.running = threads;
    for (int t = 0; t < threads; t++) pool.emplace_back([&b] { b.work(); });
    std::unique_lock<std::mutex> lock(b.mutex);
    while (!b.all_done.wait_for(lock, std::chrono::milliseconds(50), [&b] { return b.running == 0; })) {
      lock.unlock();
      {
        py::gil_scoped_acquire locked;
        if (PyErr_CheckSignals() != 0) interrupted = true;
      }
      lock.lock();
      if (interrupted) {
        b.stop = true;
        break;
      }
    }
    lock.unlock();
    for (std::thread& t : pool) t.join();
  }
  if (interrupted) throw py::error_already_set();
  if (errors == "raise") {
    auto k = std::find(b.failed.begin(), b.failed.end(), 1);
    if (k != b.failed.end()) {
      long i = k - b.failed.begin();
      throw py::value_error("row " + std::to_string(i) + ": " + no_convergence(b.td[i]) + " (" +
                            answers_text(b.answers(i)) + ")");
    }
  }
  return py::make_tuple(rate, td, tr, tb);
}

}  // namespace

void bind_pulses(py::module_& m) {
  m.def("pulses", &pulses, py::arg("fmax"), py::arg("slip"), py::arg("vm"), py::arg("ts"), py::kw_only(),
        py::arg("errors") = "raise", py::arg("jobs") = 0,
        R"(Many pulses at once, on all cores with the interpreter's lock released.

fmax, slip, vm, ts: 1-D arrays of equal length N (any real dtype; each value is
rounded to float32 as the program reads an answer).

Returns (rate, td, tr, tb): rate is an N x 1001 float32 array, row k equal to
slipvel.pulse(fmax[k], slip[k], vm[k], ts[k]).rate; td, tr and tb are float32
arrays of N values.

errors="raise" (default): a row whose boundary search does not end raises
ValueError with its index and answers (the first such row). errors="nan": such
a row is all NaN, and so is its tb; td and tr are given as always.

jobs: threads to use; 0 (default) takes all cores. Ctrl-C raises
KeyboardInterrupt within a second.)");
}
