#pragma once
// Segments that pass through each other: the rectangles of two segments
// that meet other than along an edge.
#include <utility>
#include <vector>

#include "fault/description.h"

// The pairs (a, b), a < b, from 0, of segments whose rectangles cross: an
// edge of one passes through the inside of the other. Segments that only
// touch at an edge or a corner do not cross.
std::vector<std::pair<int, int>> crossing_segments(const std::vector<Segment>& segments);
