// slipvel.fault: the fault tool's run on a description, and its subfaults.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <thread>

#include "binding.h"
#include "fault/fault_run.h"
#include "sys/private_folder.h"

namespace {

// A run of the tool; its refusals as ValueError (a description refused) or
// OSError (a file not written).
void run_tool(FaultRunRequest request, int jobs) {
  if (jobs < 0) throw py::value_error("jobs must be 0 (all cores) or more, not " + std::to_string(jobs));
  const std::string& v = request.srf_version;
  if (v != "1.0" && v != "2.0") throw py::value_error("version is \"1.0\" or \"2.0\", not \"" + v + "\"");
  request.jobs = jobs > 0 ? jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  try {
    py::gil_scoped_release unlocked;
    run_fault(request);
  } catch (const Refusal& r) {
    raise_refusal(r);
  }
  std::fflush(stdout);
}

void write_srf(const std::string& description, const std::string& path, int jobs, const std::string& version) {
  FaultRunRequest request;
  request.description = description, request.srf = path, request.srf_version = version;
  run_tool(request, jobs);
}

py::object subfaults(const std::string& description, int jobs) {
  std::optional<PrivateFolder> tmp;
  try {
    tmp.emplace("slipvel-python");
  } catch (const Refusal& r) {
    raise_refusal(r);
  }
  const std::string csv = tmp->file("subfaults.csv");
  FaultRunRequest request;
  request.description = description, request.srf = tmp->file("fault.srf"), request.csv = csv;
  run_tool(request, jobs);
  // The CSV's columns: the subfault's indices and place, its answers and
  // pulse times (float32, the floats the tool used), its samples and slip.
  py::module_ np = py::module_::import("numpy");
  py::list dtype;
  const char* ints[] = {"i", "j", "nt1"};
  const char* floats32[] = {"fmax", "slip", "vm", "ts", "td", "tr"};
  std::string header;
  {
    FILE* f = std::fopen(csv.c_str(), "r");
    if (!f) {
      PyErr_SetFromErrno(PyExc_OSError);
      throw py::error_already_set();
    }
    char buf[1024];
    if (std::fgets(buf, sizeof buf, f)) header = buf;
    std::fclose(f);
  }
  while (!header.empty() && (header.back() == '\n' || header.back() == '\r')) header.pop_back();
  size_t at = 0;
  while (at <= header.size()) {
    size_t end = header.find(',', at);
    if (end == std::string::npos) end = header.size();
    std::string name = header.substr(at, end - at);
    const char* type = "f8";
    for (const char* n : ints)
      if (name == n) type = "i8";
    for (const char* n : floats32)
      if (name == n) type = "f4";
    dtype.append(py::make_tuple(name, type));
    at = end + 1;
  }
  return np.attr("loadtxt")(csv, py::arg("delimiter") = ",", py::arg("skiprows") = 1,
                            py::arg("dtype") = dtype, py::arg("ndmin") = 1);
}

}  // namespace

void bind_fault(py::module_& m) {
  m.def("subfaults", &subfaults, py::arg("description"), py::kw_only(), py::arg("jobs") = 0,
        "The subfaults of a fault description as slipvel-fault --csv lists them, a structured array with the "
        "CSV's columns (answers and pulse times as float32), from a run of the tool in a private folder (its "
        "summary shows on standard output). A refused description raises ValueError with the "
        "tool's message.");
  m.def("write_srf", &write_srf, py::arg("description"), py::arg("path"), py::arg("jobs") = 0,
        py::kw_only(), py::arg("version") = "2.0",
        "The fault tool's run: the SRF file of the description at path (renamed into place when complete), "
        "on jobs threads (0: all cores). Prints the tool's summary on standard output.");
}
