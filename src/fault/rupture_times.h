#pragma once
// When the rupture front reaches each subfault.
#include <vector>

#include "fault/description.h"

// The rupture time (s) of every subfault, segment after segment, each in
// subfault order; empty for one segment of one rupture velocity, whose time
// is the straight distance over it (straight_time).
//
// On the hypocentre's segment: the first arrival of the front from the
// hypocentre (the eikonal equation's solution on the plane), or the
// straight distance over a uniform velocity. Over a gap: each edge subfault
// s of a segment not yet reached gets min over the subfaults p of the
// segments reached of T(p) + |x_s - x_p| / Vr(p) (straight 3-D distance
// between centres) plus the segment's delay; the segment whose earliest
// candidate is first is reached next, the front spreading over it from
// those candidates.
//
// Memory: one double a subfault, kept for the run (8 MB a million); while
// solving, some 17 bytes a node of the refined grid (at most 2^20 nodes, or
// one per subfault), and for the jump some 40 bytes a subfault of the
// segment it jumps from.
// The jump over gaps runs on `jobs` threads; the times are the same for any.
std::vector<double> rupture_times(const Description& d, int jobs);

// The segments' planes as the SRF states them: on a segment without the
// hypocentre, SHYP and DHYP are the centre of its subfault that the front
// reaches first.
std::vector<Plane> planes_with_starts(const Description& d, const std::vector<double>& times);
