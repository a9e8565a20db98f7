#pragma once
// A characterized source model: rectangular asperities of high stress drop
// in a background of low stress drop, each region's slip, stress, peak slip
// velocity and slip duration derived from the moment, the plane's size, the
// medium and the rupture velocity by published scaling relations. SI units
// throughout (m, m^2, m/s, Pa, N m, s) unless a name says km.
#include <optional>
#include <vector>

// The three stages of the area-moment scaling of crustal earthquakes.
enum class ScalingStage { somerville, irikura_miyake, murotani };

// "Somerville et al., 1999" and the like: the stage's reference.
const char* stage_reference(ScalingStage s);

// M0 (N m) of a rupture area S (km^2), the stage chosen by S: up to 400 km^2
// S = 2.23e-15 M0^(2/3), up to 1800 km^2 S = 4.24e-11 M0^(1/2) (M0 in
// dyne cm, S in km^2), beyond S = 1e-17 M0 (M0 in N m).
struct ScaledMoment {
  double m0;
  ScalingStage stage;
};
ScaledMoment moment_of_area(double s_km2);

// The area (km^2) that the same relations give a moment M0 (N m), the stage
// chosen by the moment as the published recipe does (below 7.5e18 N m, up to
// 1.8e20 N m, beyond): the area stages leave a gap of moments between 7.6e18
// and 8.9e18 N m that no area reaches, so they cannot choose.
struct ScaledArea {
  double s_km2;
  ScalingStage stage;
};
ScaledArea area_of_moment(double m0);

// Moments from here up take the large-event relations for the asperities.
constexpr double large_event_m0 = 7.5e18;  // N m

// An asperity as the description places it: its centre (km along strike from
// the top centre, km down dip from the top edge), its share of the asperity
// area and its aspect ratio (length along strike / width down dip).
struct AsperityPlace {
  double along_km = 0, down_km = 0, share = 1, aspect = 1;
};

struct ScenarioInputs {
  std::optional<double> mw;      // the moment from Mw; without it, from the plane's area
  double length = 0, width = 0;  // m, the plane
  double mu = 0;                 // Pa, rigidity
  double beta = 0;               // m/s, shear-wave speed
  double vr = 0;                 // m/s, rupture velocity
  double fmax = 0;               // Hz
  std::vector<AsperityPlace> asperities;
};

// One region: an asperity or the background.
struct RegionFigures {
  double area = 0;                                      // m^2, as the relations ask
  double length = 0, width = 0;                         // m: the asperity's rectangle, or the plane
  double along0 = 0, along1 = 0, down0 = 0, down1 = 0;  // km: the asperity's rectangle on the plane
  double gamma = 0;                                     // asperities: sqrt(area / pi) / r
  double slip = 0;                                      // m
  double stress = 0;     // Pa: the asperities' stress drop, the background's effective stress
  double rise_time = 0;  // s, width / (2 Vr)
  double vm = 0;         // m/s, the peak slip velocity
  double ts = 0;         // s, 1.5 rise time: the pulse's tr = 2 ts / 3 is the rise time
};

struct ScenarioFigures {
  double m0 = 0, mw = 0;                 // N m
  std::optional<ScalingStage> m0_stage;  // the stage that gave M0 from the plane's area
  double s = 0;                          // m^2, the plane
  ScaledArea scaling{};                  // the area that the scaling gives M0
  double mu = 0, beta = 0, vr = 0, fmax = 0;
  double d = 0;                     // m, mean slip
  double a = 0;                     // N m / s^2, short-period level
  double big_r = 0, r = 0;          // m: the plane's and the asperities' equivalent radii
  double sa = 0;                    // m^2, the asperities' area
  double dsigma = 0, dsigma_a = 0;  // Pa: mean and asperity stress drops
  bool large = false;               // M0 >= large_event_m0
  double sum_gamma3 = 0;
  double da = 0;  // m, mean asperity slip
  std::vector<RegionFigures> asperities;
  RegionFigures background;
};

// Every figure of the model from its inputs; no check of its own (the caller
// refuses Sa >= S, a background slip <= 0 and rectangles off the plane).
ScenarioFigures derive_scenario(const ScenarioInputs& in);
