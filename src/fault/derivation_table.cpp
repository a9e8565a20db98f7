#include "fault/derivation_table.h"

#include "sys/text_format.h"

std::string derivation_table(const Description& d, const ScenarioRegions& r, const std::vector<long>& covered,
                             double factor) {
  std::string out;
  const ScenarioFigures& f = r.figures;
  const double km2 = 1e-6, km = 1e-3, mpa = 1e-6;
  size_t n = f.asperities.size();
  appendf(out, "scenario: %zu asperit%s in a background\n", n, n == 1 ? "y" : "ies");
  if (f.m0_stage)
    appendf(out, "M0: %.6g N m, Mw %.6g (the area-moment scaling of the plane's area: %s)\n", f.m0, f.mw,
            stage_reference(*f.m0_stage));
  else
    appendf(out, "M0: %.6g N m, Mw %.6g (MAGNITUDE)\n", f.m0, f.mw);
  if (f.m0_stage)
    appendf(out, "S: %.6g km^2 (the plane)\n", f.s * km2);
  else
    appendf(out, "S: %.6g km^2 (the plane), %.6g km^2 (the area-moment scaling of M0: %s)\n", f.s * km2,
            f.scaling.s_km2, stage_reference(f.scaling.stage));
  appendf(out, "mu: %.6g Pa (density %.6g g/cm^3, vs %.6g km/s)\n", f.mu, d.density, f.beta * km);
  appendf(out, "D: %.6g m (mean slip, M0 / (mu S))\n", f.d);
  appendf(out, "A: %.6g N m/s^2 (short-period level, Dan et al., 2001%s)\n", f.a,
          f.large ? "; not used: M0 >= 7.5e18 N m" : "");
  appendf(out, "R: %.6g km (sqrt(S / pi))\n", f.big_r * km);
  appendf(out, "r: %.6g km (the asperities' equivalent radius)\n", f.r * km);
  appendf(out, "Sa: %.6g km^2, Sa/S %.6g (%s)\n", f.sa * km2, f.sa / f.s,
          f.large ? "M0 >= 7.5e18 N m: Sa = 0.22 S" : "pi r^2");
  appendf(out, "stress drop: mean %.6g MPa, asperities %.6g MPa\n", f.dsigma * mpa, f.dsigma_a * mpa);
  appendf(out, "Vr: %.6g km/s, fmax %.6g Hz\n", f.vr * km, f.fmax);
  appendf(out, "%-12s %10s %10s %10s %10s %10s %10s %10s %10s %10s\n", "region", "asked", "covered", "length", "width",
          "slip", "stress", "rise time", "vm", "ts");
  appendf(out, "%-12s %10s %10s %10s %10s %10s %10s %10s %10s %10s\n", "", "km^2", "km^2", "km", "km", "m", "MPa", "s",
          "m/s", "s");
  double subfault_km2 = d.plane.dlen * d.plane.dwid;
  for (size_t k = 0; k <= n; k++) {
    const RegionFigures& g = k < n ? f.asperities[k] : f.background;
    appendf(out, "%-12s %10.6g %10.6g %10.6g %10.6g %10.6g %10.6g %10.6g %10.6g %10.6g\n",
            region_name(r, static_cast<int>(k)).c_str(), g.area * km2, static_cast<double>(covered[k]) * subfault_km2,
            g.length * km, g.width * km, g.slip, g.stress * mpa, g.rise_time, g.vm, g.ts);
  }
  appendf(out, "moment factor: %.9g (every slip and vm, so that the fault's moment is M0)\n", factor);
  return out;
}
