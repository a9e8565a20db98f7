// slipvel.srf: any SRF file as NumPy arrays (the fault tool's reader, its
// facts as `info` prints them) and the writer of the tool's layout.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <pybind11/stl.h>

#include "binding.h"
#include "grow_buffer.h"
#include "srf/srf_facts.h"
#include "srf/srf_file.h"
#include "srf/srf_write.h"
#include "srf_text.h"
#include "sys/atomic_file.h"

// The rows of the structured arrays, named as the SRF format names its fields.
struct SrfPlaneRow {
  double ELON, ELAT;
  int32_t NSTK, NDIP;
  double LEN, WID, STK, DIP, DTOP, SHYP, DHYP;
};
struct SrfPointRow1 {
  double LON, LAT, DEP, STK, DIP, AREA, TINIT, DT, RAKE, SLIP1;
  int32_t NT1;
  double SLIP2;
  int32_t NT2;
  double SLIP3;
  int32_t NT3;
};
struct SrfPointRow2 {
  double LON, LAT, DEP, STK, DIP, AREA, TINIT, DT, VS, DEN, RAKE, SLIP1;
  int32_t NT1;
  double SLIP2;
  int32_t NT2;
  double SLIP3;
  int32_t NT3;
};
namespace {

// Python raised (Ctrl-C) while C++ code ran: unwinds it, the error stays set.
struct PythonError {};

// How often a long loop looks for Ctrl-C: every this many points.
constexpr long check_every = 256;

// Takes the interpreter's lock for the look (the reader runs without it).
void check_signals() {
  py::gil_scoped_acquire locked;
  if (PyErr_CheckSignals() != 0) throw PythonError{};
}

struct SrfFile {
  std::string version;
  py::object planes, points, blocks;
  py::object sr[3], off[3];
  std::vector<std::string> warnings;
  std::string facts;
};

class Reader : public SrfFacts {
 public:
  void header(const SrfHeader& h) override {
    SrfFacts::header(h);
    for (const SrfPlane& p : h.planes)
      planes_.push_back({p.elon, p.elat, p.nstk, p.ndip, p.len, p.wid, p.stk, p.dip, p.dtop, p.shyp, p.dhyp});
    medium_ = h.version == "2.0";
  }
  void block(int index, long declared) override {
    SrfFacts::block(index, declared);
    blocks_.push_back(declared);
  }
  void point(const SrfPoint& p) override {
    SrfFacts::point(p);
    if (points_ == 0) medium_ = p.has_medium;  // the first point decides for all
    const std::vector<double>* runs[3] = {&p.sr1, &p.sr2, &p.sr3};
    if (off_[0].size() == 0)
      for (auto& o : off_) o.push_back(0);
    for (int r = 0; r < 3; r++) {
      const std::vector<double>& run = *runs[r];
      float* to = sr_[r].extend(run.size());
      for (size_t i = 0; i < run.size(); i++) to[i] = static_cast<float>(run[i]);
      off_[r].push_back(static_cast<int64_t>(sr_[r].size()));
    }
    auto nt = [&](int r) { return static_cast<int32_t>(runs[r]->size()); };
    if (medium_)
      with_medium_.push_back({p.lon, p.lat, p.dep, p.stk, p.dip, p.area, p.tinit, p.dt, p.vs, p.den, p.rake,
                              p.slip1, nt(0), p.slip2, nt(1), p.slip3, nt(2)});
    else
      plain_.push_back({p.lon, p.lat, p.dep, p.stk, p.dip, p.area, p.tinit, p.dt, p.rake, p.slip1, nt(0),
                        p.slip2, nt(1), p.slip3, nt(2)});
    if (++points_ % check_every == 0) check_signals();
  }

  SrfFile file() {
    SrfFile f;
    f.version = version;
    f.planes = planes_.release(py::dtype::of<SrfPlaneRow>());
    f.points = medium_ ? with_medium_.release(py::dtype::of<SrfPointRow2>())
                       : plain_.release(py::dtype::of<SrfPointRow1>());
    f.blocks = blocks_.release(py::dtype::of<int64_t>());
    if (off_[0].size() == 0)
      for (auto& o : off_) o.push_back(0);
    for (int r = 0; r < 3; r++) {
      f.sr[r] = sr_[r].release(py::dtype::of<float>());
      f.off[r] = off_[r].release(py::dtype::of<int64_t>());
    }
    f.facts = facts_text(*this);
    return f;
  }

 private:
  GrowBuffer<SrfPlaneRow> planes_;
  GrowBuffer<SrfPointRow1> plain_;
  GrowBuffer<SrfPointRow2> with_medium_;
  GrowBuffer<int64_t> blocks_;
  GrowBuffer<float> sr_[3];
  GrowBuffer<int64_t> off_[3];
  long points_ = 0;
  bool medium_ = true;
};

SrfFile read_file(const std::string& path) {
  Reader reader;
  std::vector<std::string> warnings;
  try {
    // Other Python threads run while the file is read.
    py::gil_scoped_release unlocked;
    read_srf(path, reader, &warnings);
  } catch (const Refusal& r) {
    raise_refusal(r);
  } catch (const PythonError&) {
    throw py::error_already_set();
  }
  SrfFile f = reader.file();
  f.warnings = std::move(warnings);
  return f;
}

py::dict facts(const SrfFile& f) {
  // "name: value" a line, as `slipvel-fault info` prints them.
  py::dict d;
  size_t at = 0;
  while (at < f.facts.size()) {
    size_t end = f.facts.find('\n', at);
    std::string line = f.facts.substr(at, end - at);
    size_t colon = line.find(": ");
    d[py::str(line.substr(0, colon))] = line.substr(colon + 2);
    at = end + 1;
  }
  return d;
}

// A structured array's field as doubles, n of them.
py::array_t<double> field(const py::object& rows, const char* name, const char* arg, py::ssize_t n) {
  py::object names = rows.attr("dtype").attr("names");
  if (names.is_none() || !names.contains(name))
    throw py::value_error(std::string(arg) + " has no field " + name);
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(rows[py::str(name)]);
  if (!a || a.ndim() != 1 || a.shape(0) != n)
    throw py::value_error(std::string(arg) + "[\"" + name + "\"] must be " + std::to_string(n) + " real numbers");
  return a;
}

py::array as_rows(const py::object& value, const char* arg) {
  if (value.is_none()) return py::array();
  auto a = py::array::ensure(value);
  if (!a || a.ndim() != 1 || a.dtype().attr("names").is_none())
    throw py::type_error(std::string(arg) + " must be a 1-D structured array (as slipvel.srf.read gives it)");
  return a;
}

struct Run {
  py::array_t<float> sr;
  py::array_t<int64_t> off;
};

Run run_arg(const py::object& sr, const py::object& off, int r, py::ssize_t np) {
  std::string s = "sr" + std::to_string(r + 1), o = "off" + std::to_string(r + 1);
  if (sr.is_none() && off.is_none()) {
    Run run{py::array_t<float>(0), py::array_t<int64_t>(np + 1)};
    std::fill_n(run.off.mutable_data(), np + 1, 0);
    return run;
  }
  if (sr.is_none() || off.is_none()) throw py::value_error(s + " and " + o + " go together");
  auto a = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(sr);
  auto b = py::array_t<int64_t, py::array::c_style | py::array::forcecast>::ensure(off);
  if (!a || a.ndim() != 1) throw py::value_error(s + " must be a 1-D array of samples");
  if (!b || b.ndim() != 1 || b.shape(0) != np + 1)
    throw py::value_error(o + " must be a 1-D array of " + std::to_string(np + 1) + " offsets (points + 1)");
  const int64_t* q = b.data();
  if (q[0] != 0 || q[np] != a.shape(0))
    throw py::value_error(o + " must run from 0 to the " + std::to_string(a.shape(0)) + " samples of " + s);
  for (py::ssize_t k = 0; k < np; k++)
    if (q[k + 1] < q[k] || q[k + 1] - q[k] > INT32_MAX)
      throw py::value_error(o + " goes down (or too far up) at point " + std::to_string(k));
  return {a, b};
}

void write_file(const std::string& path, py::object planes_arg, py::object points_arg, py::object sr1, py::object off1,
           py::object sr2, py::object off2, py::object sr3, py::object off3, py::object blocks_arg,
           py::object version_arg) {
  // write(path, read(f)): everything from the file object.
  if (py::isinstance<SrfFile>(planes_arg)) {
    const SrfFile& f = planes_arg.cast<const SrfFile&>();
    if (!points_arg.is_none()) throw py::type_error("write(path, srf_file) takes no arrays beside the file");
    if (version_arg.is_none()) version_arg = py::str(f.version);
    planes_arg = f.planes, points_arg = f.points, blocks_arg = f.blocks;
    sr1 = f.sr[0], off1 = f.off[0], sr2 = f.sr[1], off2 = f.off[1], sr3 = f.sr[2], off3 = f.off[2];
  }
  std::string version = version_arg.is_none() ? "2.0" : version_arg.cast<std::string>();
  if (version != "1.0" && version != "2.0") throw py::value_error("version is \"1.0\" or \"2.0\", not \"" + version + "\"");
  const bool v2 = version == "2.0";
  py::array planes = as_rows(planes_arg, "planes"), points = as_rows(points_arg, "points");
  if (!points) throw py::type_error("points must be given");
  const py::ssize_t np = points.shape(0), nseg = planes ? planes.shape(0) : 0;

  const char* plane_names[] = {"ELON", "ELAT", "NSTK", "NDIP", "LEN", "WID", "STK", "DIP", "DTOP", "SHYP", "DHYP"};
  std::vector<py::array_t<double>> pf;
  for (const char* n : plane_names) pf.push_back(planes ? field(planes, n, "planes", nseg) : py::array_t<double>());
  std::vector<const char*> point_names = {"LON", "LAT", "DEP", "STK", "DIP", "AREA", "TINIT", "DT"};
  if (v2) point_names.insert(point_names.end(), {"VS", "DEN"});
  point_names.insert(point_names.end(), {"RAKE", "SLIP1", "SLIP2", "SLIP3"});
  std::vector<py::array_t<double>> f;
  for (const char* n : point_names) f.push_back(field(points, n, "points", np));
  Run runs[3] = {run_arg(sr1, off1, 0, np), run_arg(sr2, off2, 1, np), run_arg(sr3, off3, 2, np)};
  // NT1..NT3, where the points give them, are what the offsets say.
  const char* nt_names[] = {"NT1", "NT2", "NT3"};
  for (int r = 0; r < 3; r++) {
    py::object names = points.dtype().attr("names");
    if (!names.contains(nt_names[r])) continue;
    py::array_t<double> nt = field(points, nt_names[r], "points", np);
    const int64_t* o = runs[r].off.data();
    for (py::ssize_t k = 0; k < np; k++)
      if (nt.data()[k] != double(o[k + 1] - o[k]))
        throw py::value_error("points[\"" + std::string(nt_names[r]) + "\"][" + std::to_string(k) + "] is " +
                              std::to_string(static_cast<long long>(nt.data()[k])) + ", off" +
                              std::to_string(r + 1) + " gives " + std::to_string(o[k + 1] - o[k]) + " samples");
  }
  std::vector<long long> blocks;
  if (blocks_arg.is_none()) {
    blocks.push_back(np);
  } else {
    auto b = py::array_t<int64_t, py::array::c_style | py::array::forcecast>::ensure(blocks_arg);
    long long sum = 0;
    if (b && b.ndim() == 1)
      for (py::ssize_t k = 0; k < b.shape(0); k++) blocks.push_back(b.data()[k]), sum += std::max<long long>(0, b.data()[k]);
    if (!b || b.ndim() != 1 || blocks.empty() || sum != np ||
        std::any_of(blocks.begin(), blocks.end(), [](long long n) { return n < 0; }))
      throw py::value_error("blocks must be the points of each POINTS block, adding up to " + std::to_string(np));
  }

  try {
    AtomicFile file(path);
    // The version, the planes and the first POINTS line as the tool writes them.
    SrfHeader header;
    header.version = version;
    for (py::ssize_t s = 0; s < nseg; s++) {
      auto v = [&](int i) { return pf[static_cast<size_t>(i)].data()[s]; };
      header.planes.push_back({v(0), v(1), static_cast<int>(v(2)), static_cast<int>(v(3)), v(4), v(5), v(6), v(7),
                               v(8), v(9), v(10)});
    }
    std::string out = srf_header(header, static_cast<long>(blocks[0]));
    auto flush = [&] {
      if (std::fwrite(out.data(), 1, out.size(), file.stream()) != out.size())
        throw Refusal(path + ": write failed: " + std::strerror(errno), status_failed);
      out.clear();
    };
    py::ssize_t k = 0;
    for (size_t b = 0; b < blocks.size(); b++) {
      const long long n = blocks[b];
      if (b > 0) out += "POINTS " + std::to_string(n) + "\n";
      for (long long m = 0; m < n; m++, k++) {
        size_t i = 0;
        auto v = [&] { return f[i++].data()[k]; };
        PointText p{};
        p.lon = v(), p.lat = v(), p.dep = v(), p.stk = v(), p.dip = v(), p.area = v(), p.tinit = v(), p.dt = v();
        if (v2) p.vs = v(), p.den = v();
        p.rake = v(), p.slip1 = v(), p.slip2 = v(), p.slip3 = v();
        const float* s[3];
        long nt[3];
        for (int r = 0; r < 3; r++) {
          const int64_t* o = runs[r].off.data();
          s[r] = runs[r].sr.data() + o[k];
          nt[r] = static_cast<long>(o[k + 1] - o[k]);
        }
        append_point(out, v2, p, s[0], nt[0], s[1], nt[1], s[2], nt[2]);
        if (out.size() >= (size_t(1) << 20)) flush();
        if ((k + 1) % check_every == 0) check_signals();
      }
    }
    flush();
    file.commit();
  } catch (const Refusal& r) {
    raise_refusal(r);
  } catch (const PythonError&) {
    throw py::error_already_set();  // the temporary is gone with the AtomicFile
  }
}

}  // namespace

void bind_srf(py::module_& m) {
  PYBIND11_NUMPY_DTYPE(SrfPlaneRow, ELON, ELAT, NSTK, NDIP, LEN, WID, STK, DIP, DTOP, SHYP, DHYP);
  PYBIND11_NUMPY_DTYPE(SrfPointRow1, LON, LAT, DEP, STK, DIP, AREA, TINIT, DT, RAKE, SLIP1, NT1, SLIP2, NT2, SLIP3,
                       NT3);
  PYBIND11_NUMPY_DTYPE(SrfPointRow2, LON, LAT, DEP, STK, DIP, AREA, TINIT, DT, VS, DEN, RAKE, SLIP1, NT1, SLIP2, NT2,
                       SLIP3, NT3);
  py::class_<SrfFile>(m, "SrfFile", "An SRF file as slipvel.srf.read gives it.")
      .def_readonly("version", &SrfFile::version, "\"1.0\" or \"2.0\".")
      .def_readonly("planes", &SrfFile::planes, "The PLANE segments, a structured array (empty without PLANE).")
      .def_readonly("points", &SrfFile::points,
                    "Every point, a structured array: LON LAT DEP STK DIP AREA TINIT DT [VS DEN] RAKE SLIP1 NT1 "
                    "SLIP2 NT2 SLIP3 NT3 (VS and DEN where the file's points have them).")
      .def_readonly("blocks", &SrfFile::blocks, "The number of points of each POINTS block.")
      .def_property_readonly("sr1", [](const SrfFile& f) { return f.sr[0]; }, "SR1 samples of all points, float32.")
      .def_property_readonly("sr2", [](const SrfFile& f) { return f.sr[1]; })
      .def_property_readonly("sr3", [](const SrfFile& f) { return f.sr[2]; })
      .def_property_readonly("off1", [](const SrfFile& f) { return f.off[0]; },
                             "Point k's SR1 samples are sr1[off1[k]:off1[k+1]].")
      .def_property_readonly("off2", [](const SrfFile& f) { return f.off[1]; })
      .def_property_readonly("off3", [](const SrfFile& f) { return f.off[2]; })
      .def_readonly("warnings", &SrfFile::warnings, "What the reader tolerated, one line each.")
      .def("facts", &facts, "The facts that slipvel-fault info prints, name to printed value.")
      .def("__repr__", [](const SrfFile& f) {
        return "<slipvel.srf.SrfFile version " + f.version + ", " + std::to_string(py::len(f.points)) + " points>";
      });
  m.def("read", &read_file, py::arg("path"),
        "Reads an SRF file (versions 1.0 and 2.0) as slipvel-fault info reads it. A malformed file raises "
        "ValueError with the reader's message (file, line, what is wrong); a file that cannot be read, OSError.");
  m.def("write", &write_file, py::arg("path"), py::arg("planes"), py::arg("points") = py::none(),
        py::arg("sr1") = py::none(), py::arg("off1") = py::none(), py::arg("sr2") = py::none(),
        py::arg("off2") = py::none(), py::arg("sr3") = py::none(), py::arg("off3") = py::none(), py::kw_only(),
        py::arg("blocks") = py::none(), py::arg("version") = py::none(),
        "Writes an SRF file in slipvel-fault's layout: write(path, planes, points, sr1, off1, ..., "
        "version=\"2.0\") or write(path, read(f)). The file is written under a temporary name and renamed "
        "when complete; a failure raises OSError and leaves no partial file and an older file intact.");
}
