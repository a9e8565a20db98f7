#pragma once
// The time-window arithmetic of a run, apart from its files: the samples
// picked at the characteristic times, the five triangles with their areas
// and the window table. The program's stages write what these compute.
#include "pulse/samples.h"
#include "program/read_slip_t.h"
#include "program/write_triangles.h"

// Picks from tm(1..nt), rate(1..nt) the samples nearest to td, tr, ts, tr/2,
// tr/4 and tr/8 with the velocities there.
void pick_samples(int nt, float td, float tr, float ts, const Samples& tm, const Samples& rate,
                  Picks& picks);

// Peak times, end times and peak heights of the five triangles.
void set_geometry(float vm, const Picks& picks, Windows& win);

// The five triangles at time t (> 0, after sample 1) and their sum, added
// from the stored values.
void triangles_at(float t, const Windows& win, float v_ts, float tri[5], float& sum);

// The triangles' areas and their sum.
void set_areas(Windows& win);

// Window k (from 0) of the summary: its first-half rise time, second-half
// rise time (end time less peak time) and share of the total area.
struct WindowRow {
  float rise1, rise2, ratio;
};
WindowRow window_row(const Windows& win, int k);
