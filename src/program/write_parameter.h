#pragma once
#include "program/read_slip_t.h"
#include "program/write_triangles.h"

// Writes parameter.csv: parameters, picked values and the window table.
void write_parameter(float td, float vm, float tr, float ts, float slip,
                     const Picks& picks, const Windows& win);
