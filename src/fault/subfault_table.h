#pragma once
// The table of single subfaults: "i,j,fmax,slip,vm,ts", one subfault a row,
// indices from 1 (i along strike, j down dip).
#include <string>
#include <vector>

#include "fault/description.h"

// Reads and checks the table; a bad row is refused with the table's path,
// the line and what is wrong.
std::vector<SubfaultRow> read_subfault_table(const std::string& path, int nstk, int ndip);
