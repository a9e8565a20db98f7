#include "fault/scenario_regions.h"

#include <algorithm>

#include "fault/subfault_answers.h"
#include "sys/refusal.h"
#include "sys/text_format.h"

namespace {

// Rectangles may meet the plane's edges, and each other, to a millionth of
// a metre, as the areas' spans do.
constexpr double edge_km = 1e-9;

std::string figure(double x) { return formatted("%g", x); }

std::string span(double from, double to) { return formatted("[%g, %g]", from, to); }

[[noreturn]] void refuse(const Description& d, int line, const std::string& what) {
  throw Refusal(d.path + ":" + std::to_string(line) + ": " + what);
}

// The key that decides the asperities' share of the plane: the magnitude
// where one is given, else the shear-wave speed (with the moment from the
// plane's area, Sa/S depends on nothing else).
std::string deciding_key(const Description& d, int& line) {
  if (d.magnitude) {
    line = d.magnitude_line;
    return "MAGNITUDE = " + figure(*d.magnitude);
  }
  line = d.vs_line;
  if (d.medium.layers.size() == 1) return "medium.vs = " + figure(d.vs);
  return "medium (vs over the plane = " + figure(d.vs) + " km/s)";
}

void check_share_of_plane(const Description& d, const ScenarioFigures& f) {
  int line = 0;
  std::string key = deciding_key(d, line);
  std::string areas = "Sa = " + figure(f.sa / 1e6) + " km^2, S = " + figure(f.s / 1e6) + " km^2";
  if (f.sa >= f.s)
    refuse(d, line, key + ": the asperities' area is not less than the plane's (" + areas +
                        "): they would cover the whole plane");
  if (!(f.background.slip > 0))
    refuse(d, line, key + ": the asperities carry the whole moment: the background's slip would be Db = " +
                        figure(f.background.slip) + " m (" + areas + ")");
}

void check_rectangle(const Description& d, const AsperityBlock& b, const RegionFigures& a, int n) {
  const Plane& p = d.plane;
  std::string name = "asperity " + std::to_string(n);
  double length = a.length / 1e3, width = a.width / 1e3;
  // Narrower than a subfault, it may fall between two rows of centres.
  if (width < p.dwid - edge_km)
    refuse(d, b.line, name + " is " + figure(width) + " km wide down dip, narrower than one subfault (DWID = " +
                          figure(p.dwid) + " km): it would cover no subfault");
  if (length < p.dlen - edge_km)
    refuse(d, b.line, name + " is " + figure(length) + " km long along strike, shorter than one subfault (DLEN = " +
                          figure(p.dlen) + " km): it would cover no subfault");
  if (a.along0 < -p.length / 2 - edge_km || a.along1 > p.length / 2 + edge_km)
    refuse(d, b.along_line, "asperity.along_strike = " + figure(b.place.along_km) + ": " + name + ", " +
                                figure(length) + " km long, spans " + span(a.along0, a.along1) +
                                " km along strike and leaves the plane " + span(-p.length / 2, p.length / 2));
  if (a.down0 < -edge_km || a.down1 > p.width + edge_km)
    refuse(d, b.down_line, "asperity.down_dip = " + figure(b.place.down_km) + ": " + name + ", " + figure(width) +
                               " km wide, spans " + span(a.down0, a.down1) + " km down dip and leaves the plane " +
                               span(0, p.width));
}

// Two rectangles overlap where they share more than an edge.
bool overlap(const RegionFigures& a, const RegionFigures& b) {
  return std::min(a.along1, b.along1) - std::max(a.along0, b.along0) > edge_km &&
         std::min(a.down1, b.down1) - std::max(a.down0, b.down0) > edge_km;
}

std::string rectangle(const RegionFigures& a) { return span(a.along0, a.along1) + " x " + span(a.down0, a.down1); }

// A region's four answers, each rounded to float once.
Answers answers_of(const RegionFigures& g, double fmax) {
  Answers a;
  a.fmax = static_cast<float>(fmax);
  a.slip = static_cast<float>(g.slip);
  a.vm = static_cast<float>(g.vm);
  a.ts = static_cast<float>(g.ts);
  return a;
}

}  // namespace

ScenarioInputs scenario_inputs(const Description& d) {
  ScenarioInputs in;
  in.mw = d.magnitude;
  in.length = d.plane.length * 1e3, in.width = d.plane.width * 1e3;
  in.mu = shear_modulus(d);
  in.beta = d.vs * 1e3;
  in.vr = d.rupture_velocity * 1e3;
  in.fmax = d.scenario->fmax;
  for (const AsperityBlock& b : d.scenario->asperities) in.asperities.push_back(b.place);
  return in;
}

ScenarioRegions derive_regions(const Description& d) {
  ScenarioRegions r;
  r.plane = d.plane;
  r.figures = derive_scenario(scenario_inputs(d));
  const ScenarioFigures& f = r.figures;
  check_share_of_plane(d, f);
  const std::vector<AsperityBlock>& blocks = d.scenario->asperities;
  for (size_t k = 0; k < blocks.size(); k++) {
    const RegionFigures& a = f.asperities[k];
    check_rectangle(d, blocks[k], a, static_cast<int>(k + 1));
    for (size_t m = 0; m < k; m++)
      if (overlap(f.asperities[m], a))
        refuse(d, blocks[k].line, "asperity " + std::to_string(k + 1) + ", " + rectangle(a) +
                                      " km, overlaps asperity " + std::to_string(m + 1) + ", " +
                                      rectangle(f.asperities[m]) + " km (along strike x down dip)");
    Area& area = r.asperities.emplace_back();
    area.along0 = a.along0, area.along1 = a.along1, area.down0 = a.down0, area.down1 = a.down1;
    Answers x = answers_of(a, f.fmax);
    area.fmax = x.fmax, area.slip = x.slip, area.vm = x.vm, area.ts = x.ts;
    area.line = blocks[k].line;
  }
  r.background = answers_of(f.background, f.fmax);
  return r;
}

void apply_regions(const ScenarioRegions& r, Description& d) {
  d.pulse = r.background;
  d.areas.insert(d.areas.begin(), r.asperities.begin(), r.asperities.end());
}

int region_of(const ScenarioRegions& r, const SubfaultPlace& s) {
  for (size_t k = r.asperities.size(); k-- > 0;)
    if (area_holds(r.asperities[k], r.plane, s.along, s.down)) return static_cast<int>(k);
  return static_cast<int>(r.asperities.size());
}

std::string region_name(const ScenarioRegions& r, int region) {
  if (region == static_cast<int>(r.asperities.size())) return "background";
  return "asperity " + std::to_string(region + 1);
}
