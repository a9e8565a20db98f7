#pragma once
// The table of single subfaults: "i,j,fmax,slip,vm,ts", one subfault a row,
// indices from 1 (i along strike, j down dip).
#include <string>
#include <vector>

#include "fault/description.h"

// Reads and checks the table; a bad row is refused with the table's path,
// the line and what is wrong.
std::vector<SubfaultRow> read_subfault_table(const std::string& path, int nstk, int ndip);
// A fault of several segments, `sizes` their subfaults along strike and down
// dip: the header "segment,i,j,fmax,slip,vm,ts", the segment from 1.
std::vector<SubfaultRow> read_subfault_table(const std::string& path, const std::vector<std::pair<int, int>>& sizes);
