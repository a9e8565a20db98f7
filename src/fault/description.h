#pragma once
// A fault description: the plane (in the key names of the simple source
// description of broadband ground-motion platforms), the medium, the rupture
// velocity and the pulse's four answers, with areas and single subfaults
// that override them.
#include <optional>
#include <string>
#include <vector>

#include "crust/medium.h"
#include "fault/scenario.h"
#include "pulse/answers.h"


// The plane: km and degrees, the hypocentre from the top centre along strike
// and from the top edge down dip.
struct Plane {
  double lon_top_center = 0, lat_top_center = 0, depth_to_top = 0;
  double length = 0, dlen = 0, width = 0, dwid = 0;
  double strike = 0, dip = 0, rake = 0;
  double hypo_along_stk = 0, hypo_down_dip = 0;
  int nstk = 0, ndip = 0;  // subfaults along strike and down dip
};

// A rectangle of the plane (km along strike from the top centre, km down dip
// from the top edge) whose subfault centres take the answers it gives.
struct Area {
  int segment = 0;  // from 0
  double along0 = 0, along1 = 0, down0 = 0, down1 = 0;
  std::optional<float> fmax, slip, vm, ts;
  int line = 0;
};

// A row of the subfault table: the answers of subfault (i, j), from 1.
struct SubfaultRow {
  int segment = 0;  // from 0
  int i = 0, j = 0;
  Answers answers;
};

// An asperity of the scenario where the description puts it, with the lines
// that its refusals name.
struct AsperityBlock {
  AsperityPlace place;
  int line = 0, along_line = 0, down_line = 0;
};

// The scenario: every subfault's fmax and the asperities.
struct ScenarioBlock {
  double fmax = 0;  // Hz, the nearest double to the text; the answer is its float
  int line = 0;
  std::vector<AsperityBlock> asperities;
};

// One segment of a fault of several: its plane (hypo_* set on the segment
// that holds the hypocentre) and a delay (s) added to the times at which the
// front reaches its edges over a gap.
struct Segment {
  Plane plane;
  double delay = 0;
  int line = 0;
};

struct Description {
  std::string path;
  Plane plane;                    // the hypocentre's segment
  std::vector<Segment> segments;  // in the file's order; one for the top-level plane
  int hypo_segment = 0;           // from 0
  Medium medium;                // one layer for a uniform medium
  std::string velocity_file;    // where the layers came from, if from a file
  // Rupture velocity: [rupture] velocity, or a ratio to each subfault's VS.
  std::optional<VelocityRatio> rupture_ratio;
  // Where one figure of the whole fault is needed (the magnitude, a scenario):
  // the uniform medium's own values, or for layers and a ratio the
  // area-weighted means over the plane (mu of rho beta^2 per subfault).
  double rupture_velocity = 0;  // km/s
  double vs = 0, density = 0;   // km/s, g/cm^3
  double mu = 0;                // Pa
  Answers pulse;                // the whole plane's answers
  int pulse_line = 0;           // the line of [pulse] slip
  std::vector<Area> areas;      // in the file's order: a later area wins
  std::vector<SubfaultRow> table;  // wins over the areas
  std::string table_path;
  std::optional<double> magnitude;  // Mw that the slips are scaled to
  // With a scenario the whole plane's answers and the first areas (one per
  // asperity) are derived from it; [pulse] is then absent.
  std::optional<ScenarioBlock> scenario;
  int magnitude_line = 0, vs_line = 0;
};

// Reads and checks the description at `path` (and its subfault table).
// A fault in it throws Refusal with one line naming the file, the line and
// the key; keys that do not apply here are named in `warnings`.
Description read_description(const std::string& path, std::vector<std::string>& warnings);
