#pragma once
// Where the four answers may lie, for every place that reads them (the
// description's [pulse] and areas, the subfault table): fmax, vm and ts
// above 0, slip 0 or more, each a finite float, and ts at most the longest
// pulse that the fault tool samples.
#include <string>
#include <string_view>

// The answer read as `read` (the nearest double) and stored as `stored` (its
// nearest float), named `name` ("fmax", "pulse.slip", ...: the answer is the
// part after the last dot): empty where it is usable, else what the refusal
// says after "NAME = VALUE", as "is outside (0, 3.4e38]".
std::string answer_out_of_range(std::string_view name, double read, float stored);
