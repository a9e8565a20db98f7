#pragma once
// The scenario's derivation as the run prints it before its summary: every
// figure of the relations with its unit, one table row per region, and the
// factor that keeps the moment.
#include "fault/description.h"
#include <string>
#include <vector>

#include "fault/scenario_regions.h"

// The lines, figures to 6 significant digits; `covered` counts the
// subfaults of each region (the asperities', then the background's).
std::string derivation_table(const Description& d, const ScenarioRegions& r, const std::vector<long>& covered,
                             double factor);
