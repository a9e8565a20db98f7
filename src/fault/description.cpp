// The fault description: a TOML file whose top level is the plane of the
// simple source description (so such a file's plane reads as it stands),
// with tables for the rupture, the medium, the pulse and its areas.
#include "fault/description.h"

#include <algorithm>
#include <toml++/toml.h>

#include <charconv>
#include <cmath>

#include "fault/answer_range.h"
#include "fault/nearest_key.h"
#include "fault/plane_medium.h"
#include "fault/segment_crossing.h"
#include "pulse/pulse_times.h"
#include "sys/refusal.h"
#include "fault/subfault_table.h"
#include "sys/text_file.h"

namespace {

// Keys of the simple source description that this tool has no use for:
// each is named in a warning with the reason.
struct Inapplicable {
  std::string_view key, why;
};
const Inapplicable inapplicable[] = {
    {"SEED", "the pulses have no random part"},
    {"CORNER_FREQ", "the pulse's spectrum follows from fmax"},
    {"RVFRAC", "the rupture velocity is [rupture] velocity or velocity_ratio"},
    {"SHAL_VRUP", "the shallow rupture velocity is [rupture] shallow_ratio"},
    {"RISETIME_COEF", "each subfault's duration is its ts"},
    {"SLIP_SIGMA", "the slips are given, not drawn"},
};

const std::vector<std::string_view> top_keys = {
    "LON_TOP_CENTER", "LAT_TOP_CENTER", "DEPTH_TO_TOP",   "FAULT_LENGTH",  "DLEN",
    "FAULT_WIDTH",    "DWID",           "STRIKE",         "DIP",           "RAKE",
    "HYPO_ALONG_STK", "HYPO_DOWN_DIP",  "MAGNITUDE",      "DT",            "SEED",
    "CORNER_FREQ",    "RVFRAC",         "SHAL_VRUP",      "RISETIME_COEF", "SLIP_SIGMA",
    "rupture",        "medium",         "pulse",          "area",          "subfaults",
    "scenario",       "asperity",       "HYPO_SEGMENT",   "segment"};
// The plane keys that each [[segment]] holds, and its own.
const std::vector<std::string_view> plane_keys = {"LON_TOP_CENTER", "LAT_TOP_CENTER", "DEPTH_TO_TOP", "FAULT_LENGTH",
                                                  "DLEN",           "FAULT_WIDTH",    "DWID",         "STRIKE",
                                                  "DIP",            "RAKE"};
const std::vector<std::string_view> segment_keys = {"LON_TOP_CENTER", "LAT_TOP_CENTER", "DEPTH_TO_TOP", "FAULT_LENGTH",
                                                    "DLEN",           "FAULT_WIDTH",    "DWID",         "STRIKE",
                                                    "DIP",            "RAKE",           "delay",        "area"};
const std::vector<std::string_view> answer_keys = {"fmax", "slip", "vm", "ts"};
const std::vector<std::string_view> area_keys = {"along_strike", "down_dip", "fmax", "slip", "vm", "ts"};
const std::vector<std::string_view> asperity_keys = {"along_strike", "down_dip", "share", "aspect"};

// Shortest text that reads back as the same double.
std::string show(double x) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

std::string beside(const std::string& description, const std::string& name);

int line_of(const toml::node& n) { return static_cast<int>(n.source().begin.line); }

struct Reader {
  std::string path;
  std::vector<std::string>& warnings;

  [[noreturn]] void refuse(int line, const std::string& what) const {
    throw Refusal(path + ":" + std::to_string(line) + ": " + what);
  }

  // Every key of `t` must be known; a misspelt one is named with the
  // nearest known key.
  void known_keys(const toml::table& t, const std::vector<std::string_view>& known,
                  const std::string& where) const {
    for (auto&& [k, v] : t) {
      bool found = false;
      for (auto name : known) found = found || k.str() == name;
      if (found) continue;
      std::string near = nearest_key(k.str(), known);
      refuse(static_cast<int>(k.source().begin.line),
             "unknown key " + where + std::string(k.str()) + (near.empty() ? "" : " (did you mean " + where + near + "?)"));
    }
  }

  // A finite number (integer or float) under `key`.
  double number(const toml::node& n, const std::string& key) const {
    auto x = n.value<double>();
    if (!n.is_number() || !x) refuse(line_of(n), key + " must be a number");
    if (!std::isfinite(*x)) refuse(line_of(n), key + " is not finite");
    return *x;
  }

  const toml::node& required(const toml::table& t, std::string_view key, const std::string& where,
                             int table_line) const {
    const toml::node* n = t.get(key);
    if (!n) {
      if (table_line > 0) refuse(table_line, "[" + where + "] has no key " + std::string(key));
      throw Refusal(path + ": missing key " + std::string(key));
    }
    return *n;
  }

  const toml::table& table(const toml::table& top, std::string_view key) const {
    const toml::node* n = top.get(key);
    if (!n) throw Refusal(path + ": missing table [" + std::string(key) + "]");
    if (!n->is_table()) refuse(line_of(*n), std::string(key) + " must be a table [" + std::string(key) + "]");
    return *n->as_table();
  }

  void check(bool ok, const toml::node& n, const std::string& key, double x, const char* range) const {
    if (!ok) refuse(line_of(n), key + " = " + show(x) + " is outside " + range);
  }

  // A value stored as a float, as the program stores its answers.
  float answer(const toml::node& n, const std::string& key) const {
    double x = number(n, key);
    float f = static_cast<float>(x);
    std::string wrong = answer_out_of_range(key, x, f);
    if (!wrong.empty()) refuse(line_of(n), key + " = " + show(x) + " " + wrong);
    return f;
  }

  // The plane keys of `t`; `where` and `line` name a [[segment]] in a
  // missing key's refusal. With `hypo` the hypocentre's keys too.
  void read_plane(const toml::table& t, Plane& p, bool hypo = true, const std::string& where = "", int line = 0) const;
  void read_hypocentre(const toml::table& t, Plane& p) const;
  void read_areas(const toml::node& n, const Plane& p, int segment, std::vector<Area>& areas) const;
  void read_segments(const toml::table& top, Description& d) const;
  void read_answers(const toml::table& top, Answers& a, int& slip_line) const;
  void known_tables(const toml::table& top) const;
  void read_area(const toml::table& t, const Plane& p, Area& a) const;
  void read_scenario(const toml::table& top, Description& d) const;
  void warn_inapplicable(const toml::table& t) const;
  void read_medium(const toml::table& t, Description& d) const;
  void read_rupture(const toml::table& t, Description& d) const;
  // A positive number under `key` of `t` (its line and text in a refusal).
  double positive(const toml::table& t, std::string_view key, const std::string& where, const char* unit) const {
    const toml::node& n = required(t, key, where, line_of(t));
    double x = number(n, where + "." + std::string(key));
    check(x > 0, n, where + "." + std::string(key), x, unit);
    return x;
  }
};

void Reader::read_plane(const toml::table& t, Plane& p, bool hypo, const std::string& where, int line) const {
  auto get = [&](std::string_view key, double lo, double hi, bool lo_open, bool hi_open, const char* range) {
    const toml::node& n = required(t, key, where, line);
    double x = number(n, std::string(key));
    bool ok = (lo_open ? x > lo : x >= lo) && (hi_open ? x < hi : x <= hi);
    check(ok, n, std::string(key), x, range);
    return x;
  };
  const double inf = INFINITY;
  p.lon_top_center = get("LON_TOP_CENTER", -360, 360, false, false, "[-360, 360] degrees");
  p.lat_top_center = get("LAT_TOP_CENTER", -90, 90, false, false, "[-90, 90] degrees");
  p.depth_to_top = get("DEPTH_TO_TOP", 0, inf, false, true, "[0, inf) km");
  p.length = get("FAULT_LENGTH", 0, inf, true, true, "(0, inf) km");
  p.dlen = get("DLEN", 0, inf, true, true, "(0, inf) km");
  p.width = get("FAULT_WIDTH", 0, inf, true, true, "(0, inf) km");
  p.dwid = get("DWID", 0, inf, true, true, "(0, inf) km");
  p.strike = get("STRIKE", 0, 360, false, true, "[0, 360) degrees");
  p.dip = get("DIP", 0, 90, true, false, "(0, 90] degrees");
  p.rake = get("RAKE", -360, 360, false, false, "[-360, 360] degrees");
  if (hypo) read_hypocentre(t, p);
  // Whole subfaults: the length and width must be multiples of their sizes,
  // to a millionth of a subfault.
  auto count = [&](std::string_view size_key, double whole, double size, const char* whole_key) {
    double n = std::round(whole / size);
    if (n < 1 || std::fabs(whole / size - n) > 1e-6 || n > 1e9)
      refuse(line_of(*t.get(size_key)), std::string(size_key) + " = " + show(size) + " does not divide " +
                                            whole_key + " = " + show(whole) + " into whole subfaults");
    return static_cast<int>(n);
  };
  p.nstk = count("DLEN", p.length, p.dlen, "FAULT_LENGTH");
  p.ndip = count("DWID", p.width, p.dwid, "FAULT_WIDTH");
  // About 4 KB of SRF a subfault: beyond 10^9 subfaults no disk holds it.
  if (static_cast<double>(p.nstk) * p.ndip > 1e9)
    refuse(line_of(*t.get("DLEN")), "DLEN and DWID make " + std::to_string(static_cast<long long>(p.nstk) * p.ndip) +
                                        " subfaults, more than 10^9 (about 4 TB of SRF)");
}

void Reader::read_hypocentre(const toml::table& t, Plane& p) const {
  auto get = [&](std::string_view key, double hi, const char* range) {
    const toml::node& n = required(t, key, "", 0);
    double x = number(n, std::string(key));
    check(x >= (key == "HYPO_ALONG_STK" ? -hi : 0) && x <= hi, n, std::string(key), x, range);
    return x;
  };
  p.hypo_along_stk = get("HYPO_ALONG_STK", p.length / 2, "the plane (along strike -FAULT_LENGTH/2 to FAULT_LENGTH/2)");
  p.hypo_down_dip = get("HYPO_DOWN_DIP", p.width, "the plane (down dip 0 to FAULT_WIDTH)");
}

void Reader::read_areas(const toml::node& n, const Plane& p, int segment, std::vector<Area>& areas) const {
  const toml::array* list = n.as_array();
  if (!list || !list->is_array_of_tables()) refuse(line_of(n), "area must be an array of tables [[area]]");
  for (const toml::node& a : *list) {
    read_area(*a.as_table(), p, areas.emplace_back());
    areas.back().segment = segment;
  }
}

// [[segment]] blocks, each a plane with its own areas and delay; the
// hypocentre on HYPO_SEGMENT (from 1, the first by default).
void Reader::read_segments(const toml::table& top, Description& d) const {
  const toml::node& n = *top.get("segment");
  const toml::array* list = n.as_array();
  if (!list || !list->is_array_of_tables()) refuse(line_of(n), "segment must be an array of tables [[segment]]");
  for (std::string_view key : plane_keys)
    if (const toml::node* k = top.get(key))
      refuse(line_of(*k), std::string(key) + " belongs in each [[segment]] when the fault has segments");
  if (const toml::node* a = top.get("area"))
    refuse(line_of(*a), "with segments, an area goes in its segment: [[segment.area]]");
  for (const toml::node& s : *list) {
    const toml::table& t = *s.as_table();
    known_keys(t, segment_keys, "segment.");
    Segment& seg = d.segments.emplace_back();
    seg.line = line_of(t);
    read_plane(t, seg.plane, false, "segment", seg.line);
    if (const toml::node* delay = t.get("delay")) {
      seg.delay = number(*delay, "segment.delay");
      check(seg.delay >= 0, *delay, "segment.delay", seg.delay, "[0, inf) s");
    }
    if (const toml::node* a = t.get("area"))
      read_areas(*a, seg.plane, static_cast<int>(d.segments.size() - 1), d.areas);
  }
  double total = 0;
  for (const Segment& seg : d.segments) total += static_cast<double>(seg.plane.nstk) * seg.plane.ndip;
  if (total > 1e9)
    refuse(line_of(n), "the segments make " + show(total) + " subfaults, more than 10^9 (about 4 TB of SRF)");
  int64_t h = 1;
  if (const toml::node* hs = top.get("HYPO_SEGMENT")) {
    if (!hs->is_integer()) refuse(line_of(*hs), "HYPO_SEGMENT must be a whole number, a segment from 1");
    h = *hs->value<int64_t>();
    if (h < 1 || h > static_cast<int64_t>(d.segments.size()))
      refuse(line_of(*hs), "HYPO_SEGMENT = " + std::to_string(h) + " names no segment (the segments are 1 to " +
                               std::to_string(d.segments.size()) + ")");
  }
  d.hypo_segment = static_cast<int>(h - 1);
  // Crossing segments may be meant (a branch): named, not refused.
  for (auto [a, b] : crossing_segments(d.segments))
    warnings.push_back(path + ":" + std::to_string(d.segments[static_cast<size_t>(b)].line) + ": segments " +
                       std::to_string(a + 1) + " and " + std::to_string(b + 1) +
                       " cross each other's planes; the front still jumps between them as over a gap");
  read_hypocentre(top, d.segments[static_cast<size_t>(d.hypo_segment)].plane);
  d.plane = d.segments[static_cast<size_t>(d.hypo_segment)].plane;
}

void Reader::read_answers(const toml::table& top, Answers& a, int& slip_line) const {
  const toml::table& t = table(top, "pulse");
  known_keys(t, answer_keys, "pulse.");
  int line = line_of(t);
  a.fmax = answer(required(t, "fmax", "pulse", line), "pulse.fmax");
  const toml::node& slip = required(t, "slip", "pulse", line);
  a.slip = answer(slip, "pulse.slip");
  slip_line = line_of(slip);
  a.vm = answer(required(t, "vm", "pulse", line), "pulse.vm");
  a.ts = answer(required(t, "ts", "pulse", line), "pulse.ts");
}

void Reader::read_area(const toml::table& t, const Plane& p, Area& a) const {
  known_keys(t, area_keys, "area.");
  a.line = line_of(t);
  // A span [from, to] of km on the plane, inside its bounds.
  auto span = [&](std::string_view key, double lo, double hi, double& from, double& to) {
    const toml::node& n = required(t, key, "area", a.line);
    const toml::array* arr = n.as_array();
    std::string name = "area." + std::string(key);
    if (!arr || arr->size() != 2) refuse(line_of(n), name + " must be [from, to] in km");
    from = number(*arr->get(0), name);
    to = number(*arr->get(1), name);
    if (!(from < to)) refuse(line_of(n), name + " = [" + show(from) + ", " + show(to) + "] is empty");
    if (from < lo - 1e-9 || to > hi + 1e-9)
      refuse(line_of(n), name + " = [" + show(from) + ", " + show(to) + "] is outside the plane [" + show(lo) +
                             ", " + show(hi) + "]");
  };
  span("along_strike", -p.length / 2, p.length / 2, a.along0, a.along1);
  span("down_dip", 0, p.width, a.down0, a.down1);
  auto opt = [&](std::string_view key, std::optional<float>& v) {
    if (const toml::node* n = t.get(key)) v = answer(*n, "area." + std::string(key));
  };
  opt("fmax", a.fmax);
  opt("slip", a.slip);
  opt("vm", a.vm);
  opt("ts", a.ts);
}

// The scenario's fmax and its asperities; where they lie is checked with the
// derived rectangles.
void Reader::read_scenario(const toml::table& top, Description& d) const {
  const toml::node* asperities = top.get("asperity");
  if (asperities && (!asperities->is_array() || !asperities->as_array()->is_array_of_tables()))
    refuse(line_of(*asperities), "asperity must be an array of tables [[asperity]]");
  const toml::node* n = top.get("scenario");
  if (!n) {
    if (asperities) refuse(line_of(*asperities), "[[asperity]] without [scenario]: the asperities belong to a scenario");
    return;
  }
  if (!n->is_table()) refuse(line_of(*n), "scenario must be a table [scenario]");
  const toml::table& t = *n->as_table();
  known_keys(t, {"fmax"}, "scenario.");
  ScenarioBlock& s = d.scenario.emplace();
  s.line = line_of(t);
  const toml::node& fmax = required(t, "fmax", "scenario", s.line);
  answer(fmax, "scenario.fmax");  // a float answer above 0
  s.fmax = number(fmax, "scenario.fmax");
  if (const toml::node* pulse = top.get("pulse"))
    refuse(line_of(*pulse), "[pulse] and [scenario] both give the whole plane's answers: keep one");
  if (!asperities) refuse(s.line, "[scenario] has no [[asperity]]: a scenario needs at least one");
  for (const toml::node& node : *asperities->as_array()) {
    const toml::table& at = *node.as_table();
    known_keys(at, asperity_keys, "asperity.");
    AsperityBlock& a = s.asperities.emplace_back();
    a.line = line_of(at);
    const toml::node& along = required(at, "along_strike", "asperity", a.line);
    const toml::node& down = required(at, "down_dip", "asperity", a.line);
    a.place.along_km = number(along, "asperity.along_strike");
    a.place.down_km = number(down, "asperity.down_dip");
    a.along_line = line_of(along), a.down_line = line_of(down);
    auto if_positive = [&](std::string_view key, double& v) {
      if (const toml::node* k = at.get(key)) {
        std::string name = "asperity." + std::string(key);
        v = number(*k, name);
        check(v > 0, *k, name, v, "(0, inf)");
      }
    };
    if_positive("share", a.place.share);
    if_positive("aspect", a.place.aspect);
  }
}

// A table that is not one of the description's is named as a table (with
// the nearest table's name), not matched against the plane's keys.
void Reader::known_tables(const toml::table& top) const {
  const std::vector<std::string_view> tables = {"rupture", "medium",   "pulse",   "scenario",
                                                "area",    "asperity", "segment", "subfaults"};
  const std::vector<std::string_view> arrays = {"area", "asperity", "segment"};  // [[name]], the rest [name]
  auto shown = [&](std::string_view name) {
    bool array = std::find(arrays.begin(), arrays.end(), name) != arrays.end();
    return array ? "[[" + std::string(name) + "]]" : "[" + std::string(name) + "]";
  };
  for (auto&& [k, v] : top) {
    bool table = v.is_table() || (v.is_array() && v.as_array()->is_array_of_tables());
    bool known = std::find(tables.begin(), tables.end(), k.str()) != tables.end();
    if (!table || known) continue;
    std::string near = nearest_key(k.str(), tables);
    std::string given = v.is_table() ? "[" + std::string(k.str()) + "]" : "[[" + std::string(k.str()) + "]]";
    std::string all;
    for (size_t m = 0; m < tables.size(); m++)
      all += (m == 0 ? "" : m + 1 == tables.size() ? " and " : ", ") + shown(tables[m]);
    refuse(static_cast<int>(k.source().begin.line),
           "unknown table " + given + (near.empty() ? "" : " (did you mean " + shown(near) + "?)") +
               "; the tables are " + all);
  }
}

void Reader::warn_inapplicable(const toml::table& t) const {
  auto warn = [&](const toml::node& n, const std::string& what) {
    warnings.push_back(path + ":" + std::to_string(line_of(n)) + ": " + what);
  };
  for (const auto& k : inapplicable)
    if (const toml::node* n = t.get(k.key))
      warn(*n, std::string(k.key) + " does not apply here (" + std::string(k.why) + ") and is not used");
  // The grid's step is the float nearest 0.01 s; DT = 0.01 says just that.
  if (const toml::node* n = t.get("DT")) {
    double dt = number(*n, "DT");
    if (dt != grid_step)
      warn(*n, "DT = " + show(dt) + " does not apply here (the pulses are sampled every " + show(grid_step) +
                   " s) and is not used");
  }
}

// [medium]: vs and density (uniform), a table of layers, or the platforms'
// velocity file; exactly one of the three.
void Reader::read_medium(const toml::table& t, Description& d) const {
  known_keys(t, {"vs", "density", "layers", "velocity_file"}, "medium.");
  int forms = (t.contains("vs") || t.contains("density")) + t.contains("layers") + t.contains("velocity_file");
  if (forms != 1) refuse(line_of(t), "[medium] takes one of: vs and density, layers, velocity_file");
  // Where the shear-wave speed is given, for a scenario's refusals.
  for (const char* k : {"vs", "layers", "velocity_file"})
    if (const toml::node* n = t.get(k)) d.vs_line = line_of(*n);
  if (const toml::node* n = t.get("layers")) {
    const toml::array* rows = n->as_array();
    if (!rows || rows->empty()) refuse(line_of(*n), "medium.layers must be [[thickness, vp, vs, density], ...]");
    std::vector<Layer> layers;
    for (size_t k = 0; k < rows->size(); k++) {
      const toml::node& row = *rows->get(k);
      std::string name = "medium.layers[" + std::to_string(k + 1) + "]";
      const toml::array* a = row.as_array();
      if (!a || a->size() != 4)
        refuse(line_of(row), name + " must be [thickness, vp, vs, density] (km, km/s, km/s, g/cm^3)");
      Layer l{number(*a->get(0), name), number(*a->get(1), name), number(*a->get(2), name), number(*a->get(3), name)};
      std::string fault = layer_fault(l, static_cast<int>(k + 1), k + 1 == rows->size());
      if (!fault.empty()) refuse(line_of(row), "medium.layers: " + fault);
      layers.push_back(l);
    }
    d.medium = layered_medium(std::move(layers));
  } else if (const toml::node* n = t.get("velocity_file")) {
    if (!n->is_string()) refuse(line_of(*n), "medium.velocity_file must be a file name in quotes");
    d.velocity_file = beside(path, *n->value<std::string>());
    try {
      d.medium = read_velocity_file(d.velocity_file);
    } catch (const Refusal& e) {
      refuse(line_of(*n), "medium.velocity_file: " + std::string(e.what()));
    }
  } else {
    // Uniform: one layer, the half-space from the surface.
    Layer l;
    l.vs = positive(t, "vs", "medium", "(0, inf) km/s");
    l.density = positive(t, "density", "medium", "(0, inf) g/cm^3");
    d.medium = layered_medium({l});
  }
}

// [rupture]: a velocity (km/s), or a ratio to the local shear velocity with
// an optional slower ratio near the surface; exactly one of the two.
void Reader::read_rupture(const toml::table& t, Description& d) const {
  known_keys(t, {"velocity", "velocity_ratio", "shallow_ratio", "shallow_depth"}, "rupture.");
  if (t.contains("velocity") == t.contains("velocity_ratio"))
    refuse(line_of(t), "[rupture] takes one of velocity and velocity_ratio");
  auto ratio = [&](const toml::node& n, const std::string& key) {
    double x = number(n, key);
    check(x > 0 && x <= 1.5, n, key, x, "(0, 1.5]");
    return x;
  };
  if (t.contains("velocity")) {
    d.rupture_velocity = positive(t, "velocity", "rupture", "(0, inf) km/s");
    for (const char* k : {"shallow_ratio", "shallow_depth"})
      if (const toml::node* n = t.get(k)) refuse(line_of(*n), std::string("rupture.") + k + " needs velocity_ratio");
    return;
  }
  VelocityRatio v;
  v.ratio = ratio(*t.get("velocity_ratio"), "rupture.velocity_ratio");
  const toml::node* sr = t.get("shallow_ratio");
  const toml::node* sd = t.get("shallow_depth");
  if ((sr == nullptr) != (sd == nullptr))
    refuse(line_of(sr ? *sr : *sd), std::string("rupture.") + (sr ? "shallow_ratio needs shallow_depth" : "shallow_depth needs shallow_ratio"));
  if (sr) {
    v.shallow_ratio = ratio(*sr, "rupture.shallow_ratio");
    double depth = number(*sd, "rupture.shallow_depth");
    check(depth >= 0, *sd, "rupture.shallow_depth", depth, "[0, inf) km");
    v.shallow_depth = depth;
  }
  d.rupture_ratio = v;
}

toml::table parse(const std::string& path) {
  std::string text = read_text_file(path);
  try {
    return toml::parse(text, path);
  } catch (const toml::parse_error& e) {
    throw Refusal(path + ":" + std::to_string(e.source().begin.line) + ":" +
                  std::to_string(e.source().begin.column) + ": " + std::string(e.description()));
  }
}

// The subfault table's path is taken from the description's own folder.
std::string beside(const std::string& description, const std::string& name) {
  if (name.starts_with('/')) return name;
  size_t slash = description.rfind('/');
  return slash == std::string::npos ? name : description.substr(0, slash + 1) + name;
}

}  // namespace

Description read_description(const std::string& path, std::vector<std::string>& warnings) {
  Reader r{path, warnings};
  toml::table top = parse(path);
  r.known_tables(top);
  r.known_keys(top, top_keys, "");
  Description d;
  d.path = path;
  if (top.contains("segment")) {
    r.read_segments(top, d);
  } else {
    if (const toml::node* hs = top.get("HYPO_SEGMENT")) r.refuse(line_of(*hs), "HYPO_SEGMENT names no segment: the fault has no [[segment]]");
    r.read_plane(top, d.plane);
    d.segments.push_back({d.plane, 0, 0});
  }
  r.warn_inapplicable(top);
  if (const toml::node* n = top.get("MAGNITUDE")) {
    double mw = r.number(*n, "MAGNITUDE");
    r.check(mw > -3 && mw <= 10, *n, "MAGNITUDE", mw, "(-3, 10]");
    d.magnitude = mw;
    d.magnitude_line = line_of(*n);
  }
  // The medium, then the rupture velocity that may follow it.
  r.read_medium(r.table(top, "medium"), d);
  r.read_rupture(r.table(top, "rupture"), d);
  // The pulse (or the scenario that derives it), its areas and single
  // subfaults.
  r.read_scenario(top, d);
  // The asperities' rectangles are derived on one plane of one area S and
  // width W: a fault of several segments has neither.
  if (d.scenario && top.contains("segment"))
    r.refuse(d.scenario->line, "[scenario] and [[segment]] cannot be combined: a scenario derives its asperities "
                               "on one plane; describe a single plane or leave out [scenario]");
  if (!d.scenario) r.read_answers(top, d.pulse, d.pulse_line);
  if (const toml::node* n = top.get("area")) r.read_areas(*n, d.plane, 0, d.areas);
  if (const toml::node* n = top.get("subfaults")) {
    if (!n->is_table()) r.refuse(line_of(*n), "subfaults must be a table [subfaults]");
    const toml::table& st = *n->as_table();
    r.known_keys(st, {"table"}, "subfaults.");
    const toml::node& tn = r.required(st, "table", "subfaults", line_of(st));
    if (!tn.is_string()) r.refuse(line_of(tn), "subfaults.table must be a file name in quotes");
    d.table_path = beside(path, *tn.value<std::string>());
    std::vector<std::pair<int, int>> sizes;
    for (const Segment& seg : d.segments) sizes.push_back({seg.plane.nstk, seg.plane.ndip});
    d.table = read_subfault_table(d.table_path, sizes);
  }
  set_plane_means(d);
  return d;
}
