#pragma once
// First arrival of a rupture front on a fault plane: the solution T of the
// eikonal equation |grad T| = 1/Vr on the plane, by fast marching (Sethian,
// 1996) on a grid of the subfaults refined by an odd factor, so that every
// subfault centre is a node of the fine grid.
//
// From a point (the hypocentre) the equation is solved in factored form
// (T = T0 tau, T0 the distance from the point over the speed there; Fomel,
// Luo and Zhao, 2009; Treister and Haber, 2016): where Vr is uniform, tau = 1
// solves the discrete equations exactly, so the times are distance / Vr to
// rounding; where Vr changes, the first-order scheme's error shrinks with
// the grid's step. From given times at some subfaults (the front arriving
// over a gap) the plain first-order scheme spreads them over the plane.
#include <vector>

// The subfault grid: nx along strike by ny down dip, cells of hx by hy km;
// positions in km from the plane's first corner (along strike from its left
// edge, down dip from its top edge).
struct EikonalGrid {
  int nx = 0, ny = 0;
  double hx = 0, hy = 0;
};

// A subfault (index i + nx j, from 0) reached at time t (s).
struct FrontStart {
  long index = 0;
  double t = 0;
};

// The refinement: the largest odd factor up to 15 whose fine grid holds at
// most 2^20 nodes (1 for a million subfaults).
int eikonal_refinement(const EikonalGrid& g);

// Rupture times (s) at the subfault centres, in subfault order, from a point
// source at (x0, y0) km, reached at t = 0. `speed_at(y)` is Vr (km/s) at y km
// down dip: the medium is layered, so Vr changes with depth alone.
template <class Speed>
std::vector<double> times_from_point(const EikonalGrid& g, double x0, double y0, Speed speed_at, int refine);

// Rupture times (s) at the subfault centres from the given starts.
template <class Speed>
std::vector<double> times_from_starts(const EikonalGrid& g, const std::vector<FrontStart>& starts, Speed speed_at,
                                      int refine);

// What the templates hand to the solver: the slowness (s/km) of each fine row.
struct FineSlowness {
  std::vector<double> s;
};
std::vector<double> solve_from_point(const EikonalGrid& g, double x0, double y0, double source_slowness,
                                     const FineSlowness& rows, int refine);
std::vector<double> solve_from_starts(const EikonalGrid& g, const std::vector<FrontStart>& starts,
                                      const FineSlowness& rows, int refine);

template <class Speed>
FineSlowness fine_slowness(const EikonalGrid& g, Speed speed_at, int refine) {
  FineSlowness f;
  const double h = g.hy / refine;
  for (long b = 0; b < static_cast<long>(g.ny) * refine; b++) f.s.push_back(1 / speed_at((b + 0.5) * h));
  return f;
}

template <class Speed>
std::vector<double> times_from_point(const EikonalGrid& g, double x0, double y0, Speed speed_at, int refine) {
  return solve_from_point(g, x0, y0, 1 / speed_at(y0), fine_slowness(g, speed_at, refine), refine);
}

template <class Speed>
std::vector<double> times_from_starts(const EikonalGrid& g, const std::vector<FrontStart>& starts, Speed speed_at,
                                      int refine) {
  return solve_from_starts(g, starts, fine_slowness(g, speed_at, refine), refine);
}
