#pragma once
// What the parts of the module share: answers taken from Python objects,
// NumPy arrays over memory the module owns, and the registration of each part.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <string>

#include "pulse/answers.h"
#include "pulse/samples.h"
#include "sys/refusal.h"

namespace py = pybind11;

// A real number argument as the program reads an answer: the nearest double
// (a Python float is one), then the nearest float. Anything else, a string
// included, raises TypeError naming the argument.
float answer_arg(py::handle value, const char* name);
Answers answers_args(py::handle fmax, py::handle slip, py::handle vm, py::handle ts);

// "fmax = F, slip = S, vm = V, ts = T", each the shortest text that reads
// back as the same float.
std::string answers_text(const Answers& a);

// A read-only float32 array of n values at `data`, which `owner` keeps alive.
py::array_t<float> view(const float* data, py::ssize_t n, py::handle owner);
// An array of n values that owns `samples`.
py::array_t<float> owned(std::unique_ptr<Samples> samples, py::ssize_t n);

// A refusal of the tools as Python sees it: the system's failures as
// OSError, the rest (a malformed file, a refused description) as ValueError,
// with the tool's own line.
[[noreturn]] void raise_refusal(const Refusal& r);

void bind_pulse(py::module_& m);
void bind_pulses(py::module_& m);
void bind_srf(py::module_& m);
void bind_fault(py::module_& m);
