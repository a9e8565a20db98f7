#pragma once
// When the rupture front reaches each subfault.
#include <vector>

#include "fault/description.h"

// The rupture time (s) of every subfault in subfault order, the first
// arrival of the front from the hypocentre (the eikonal equation's solution
// on the plane); empty where the rupture velocity is one figure for the
// whole plane, for then the time is the straight distance over it.
// Memory: one double a subfault, kept for the run (8 MB a million), and
// about 17 bytes a fine node while solving.
std::vector<double> rupture_times(const Description& d);
