// The characterized source model's relations, in double precision and in
// the order the published recipe states them.
#include "fault/scenario.h"

#include <cmath>
#include <numbers>

#include "srf/magnitude.h"

namespace {

constexpr double pi = std::numbers::pi;

// dyne cm per N m.
constexpr double dyne_cm = 1e7;

}  // namespace

const char* stage_reference(ScalingStage s) {
  switch (s) {
    case ScalingStage::somerville: return "Somerville et al., 1999";
    case ScalingStage::irikura_miyake: return "Irikura and Miyake, 2001";
    case ScalingStage::murotani: return "Murotani et al., 2015";
  }
  return "";
}

ScaledMoment moment_of_area(double s_km2) {
  // The first two relations are in dyne cm: 1e-7 brings them to N m.
  if (s_km2 <= 400) return {std::pow(s_km2 / 2.23e-15, 1.5) / dyne_cm, ScalingStage::somerville};
  if (s_km2 <= 1800) return {std::pow(s_km2 / 4.24e-11, 2) / dyne_cm, ScalingStage::irikura_miyake};
  return {s_km2 * 1e17, ScalingStage::murotani};
}

ScaledArea area_of_moment(double m0) {
  if (m0 < large_event_m0) return {2.23e-15 * std::pow(m0 * dyne_cm, 2.0 / 3.0), ScalingStage::somerville};
  if (m0 <= 1.8e20) return {4.24e-11 * std::sqrt(m0 * dyne_cm), ScalingStage::irikura_miyake};
  return {m0 * 1e-17, ScalingStage::murotani};
}

ScenarioFigures derive_scenario(const ScenarioInputs& in) {
  ScenarioFigures f;
  f.mu = in.mu, f.beta = in.beta, f.vr = in.vr, f.fmax = in.fmax;
  f.s = in.length * in.width;
  // The moment: from Mw, or from the plane's area by the scaling.
  if (in.mw) {
    f.m0 = seismic_moment(*in.mw);
  } else {
    ScaledMoment sm = moment_of_area(f.s / 1e6);
    f.m0 = sm.m0;
    f.m0_stage = sm.stage;
  }
  f.mw = moment_magnitude(f.m0);
  f.scaling = area_of_moment(f.m0);
  f.d = f.m0 / (f.mu * f.s);
  // Short-period level (Dan et al., 2001), dyne cm/s^2 from dyne cm, in N m/s^2.
  f.a = 2.46e10 * std::cbrt(f.m0 * dyne_cm);
  f.big_r = std::sqrt(f.s / pi);
  f.large = f.m0 >= large_event_m0;
  if (!f.large) {
    // A circular asperity of radius r in a circular crack of radius R whose
    // short-period level is A; the crack's mean stress drop (Eshelby, 1957).
    f.r = (7 * pi / 4) * f.m0 * (f.beta * f.beta) / (f.a * f.big_r);
    f.sa = pi * f.r * f.r;
    f.dsigma = (7.0 / 16.0) * f.m0 / (f.big_r * f.big_r * f.big_r);
  } else {
    // Large events: a fixed share of the area and a fixed mean stress drop
    // (Fujii and Matsu'ura, 2000).
    f.sa = 0.22 * f.s;
    f.dsigma = 3.1e6;
    f.r = std::sqrt(f.sa / pi);
  }
  f.dsigma_a = f.dsigma * f.s / f.sa;
  f.da = 2 * f.d;  // Somerville et al., 1999

  // Each asperity: its share of Sa, its rectangle, its slip.
  double shares = 0;
  for (const AsperityPlace& p : in.asperities) shares += p.share;
  for (const AsperityPlace& p : in.asperities) {
    RegionFigures& a = f.asperities.emplace_back();
    a.area = f.sa * p.share / shares;
    a.width = std::sqrt(a.area / p.aspect);
    a.length = a.area / a.width;
    a.along0 = p.along_km - a.length / 2e3, a.along1 = p.along_km + a.length / 2e3;
    a.down0 = p.down_km - a.width / 2e3, a.down1 = p.down_km + a.width / 2e3;
    a.gamma = std::sqrt(a.area / pi) / f.r;
    f.sum_gamma3 += a.gamma * a.gamma * a.gamma;
    a.stress = f.dsigma_a;
  }
  for (RegionFigures& a : f.asperities) a.slip = f.da * a.gamma / f.sum_gamma3;

  // The background carries the rest of the moment.
  RegionFigures& b = f.background;
  b.area = f.s - f.sa;
  b.length = in.length, b.width = in.width;
  b.slip = (f.m0 - f.mu * f.da * f.sa) / (f.mu * b.area);
  b.stress = (b.slip / in.width) * (std::sqrt(pi) / f.da) * f.r * f.sum_gamma3 * f.dsigma_a;

  // Rise time and peak slip velocity (Day, 1982), from each region's width.
  auto pulse = [&](RegionFigures& g) {
    g.rise_time = g.width / (2 * f.vr);
    g.ts = 1.5 * g.rise_time;
    g.vm = g.stress * std::sqrt(2 * f.fmax * g.width * f.vr) / f.mu;
  };
  for (RegionFigures& a : f.asperities) pulse(a);
  pulse(b);
  return f;
}
