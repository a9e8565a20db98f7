#pragma once
// The map view of a fault, drawn by GMT: the surface projection of each
// PLANE segment with its top edge bold, the epicentre, the subfaults' slip
// in colour, coastlines and a scale bar.
#include <string>

#include "sys/atomic_file.h"
#include "pictures/plot_facts.h"

// What brings GMT and its coastlines, for the report of a missing gmt.
extern const char* const gmt_packages;

// Draws the map into the (closed) temporaries of `png` and `pdf`; the caller
// commits them. GMT runs in a private temporary folder of its own (its
// gmt.conf, gmt.history and modern-mode session stay there).
void draw_map(const FaultFacts& facts, const std::string& title, AtomicFile& png, AtomicFile& pdf);
