#pragma once
// A description's scenario made into regions on its plane: the figures
// derived from its moment, plane, medium and rupture velocity, checked
// against the plane and its subfaults, and the four answers of each region.
#include <string>
#include <vector>

#include "fault/description.h"
#include "fault/geometry.h"
#include "fault/scenario.h"

struct ScenarioRegions {
  ScenarioFigures figures;
  Plane plane;  // the one plane that the rectangles lie on
  std::vector<Area> asperities;  // each asperity's rectangle with its four answers
  Answers background;
};

// The inputs of the relations from the description: its Mw, its plane, its
// medium's rigidity and shear-wave speed and its rupture velocity (a layered
// medium's area-weighted means over the plane), the scenario's fmax and
// asperities.
ScenarioInputs scenario_inputs(const Description& d);

// Derives the scenario of `d`.
// Refused (naming the file, the line and the key): asperities that would
// cover the plane (Sa >= S) or carry the whole moment (background slip
// <= 0), an asperity narrower or shorter than one subfault, one that
// leaves the plane, two that overlap.
ScenarioRegions derive_regions(const Description& d);

// Gives `d` the regions' answers: the background's as the whole plane's,
// each asperity's as an area before the description's own, so that its
// areas and its table override them as they would override [pulse].
void apply_regions(const ScenarioRegions& r, Description& d);

// The region that holds the centre of `s`: the asperity's index from 0 (on
// an edge that two share, the later; edges to the areas' tolerance), or the asperities'
// count for the background.
int region_of(const ScenarioRegions& r, const SubfaultPlace& s);

// "asperity 2" (from 1) or "background".
std::string region_name(const ScenarioRegions& r, int region);
