// The module slipvel and its parts slipvel.srf and slipvel.fault.
#include <cmath>
#include <cstdio>

#include "binding.h"
#include "fault/subfault_pulse.h"

float answer_arg(py::handle value, const char* name) {
  // PyFloat_AsDouble takes floats, ints and anything with __float__ or
  // __index__ (NumPy scalars), never a string.
  if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr()) || PyBool_Check(value.ptr()))
    throw py::type_error(std::string(name) + " must be a real number, not " +
                         std::string(py::str(value.get_type().attr("__name__"))));
  double x = PyFloat_AsDouble(value.ptr());
  if (x == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    throw py::type_error(std::string(name) + " must be a real number, not " +
                         std::string(py::str(value.get_type().attr("__name__"))));
  }
  return static_cast<float>(x);
}

Answers answers_args(py::handle fmax, py::handle slip, py::handle vm, py::handle ts) {
  return {answer_arg(fmax, "fmax"), answer_arg(slip, "slip"), answer_arg(vm, "vm"), answer_arg(ts, "ts")};
}

std::string answers_text(const Answers& a) {
  return "fmax = " + float_text(a.fmax) + ", slip = " + float_text(a.slip) + ", vm = " + float_text(a.vm) +
         ", ts = " + float_text(a.ts);
}

void raise_refusal(const Refusal& r) {
  PyErr_SetString(r.status == status_failed ? PyExc_OSError : PyExc_ValueError, r.what());
  throw py::error_already_set();
}

py::array_t<float> view(const float* data, py::ssize_t n, py::handle owner) {
  py::array_t<float> a({n}, {static_cast<py::ssize_t>(sizeof(float))}, data, owner);
  py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
  return a;
}

py::array_t<float> owned(std::unique_ptr<Samples> samples, py::ssize_t n) {
  const float* data = samples->v;
  py::capsule owner(samples.release(), [](void* p) { delete static_cast<Samples*>(p); });
  return py::array_t<float>({n}, {static_cast<py::ssize_t>(sizeof(float))}, data, owner);
}

PYBIND11_MODULE(slipvel, m) {
  m.doc() =
      "The slip-velocity pulse of slipvel, its histories, spectra and time windows, every value the "
      "float that the program computes; SRF files (slipvel.srf) and the fault tool's run (slipvel.fault).";
  bind_pulse(m);
  bind_pulses(m);
  py::module_ srf = m.def_submodule("srf", "SRF files as NumPy arrays: read, facts, write.");
  bind_srf(srf);
  py::module_ fault = m.def_submodule("fault", "The fault tool's subfaults and its run.");
  bind_fault(fault);
  // import slipvel.srf and from slipvel.srf import read work as for a package.
  py::module_::import("sys").attr("modules")["slipvel.srf"] = srf;
  py::module_::import("sys").attr("modules")["slipvel.fault"] = fault;
}
