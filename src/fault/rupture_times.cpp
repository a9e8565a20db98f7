#include "fault/rupture_times.h"

#include <GeographicLib/Geocentric.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "fault/eikonal.h"
#include "fault/geometry.h"
#include "fault/plane_medium.h"
#include "sys/end_signal.h"

namespace {

using Point3 = std::array<double, 3>;

EikonalGrid grid_of(const Plane& p) { return {p.nstk, p.ndip, p.dlen, p.dwid}; }

// Subfault centres of a segment in Earth-centred coordinates (km), so that
// distances between segments are straight 3-D lines.
std::vector<Point3> centres_3d(const Plane& p) {
  const GeographicLib::Geocentric& earth = GeographicLib::Geocentric::WGS84();
  std::vector<Point3> out;
  out.reserve(static_cast<size_t>(p.nstk) * static_cast<size_t>(p.ndip));
  for (int j = 1; j <= p.ndip; j++)
    for (int i = 1; i <= p.nstk; i++) {
      SubfaultPlace s = place_on(p, i, j);
      Point3 x;
      earth.Forward(s.lat, s.lon, -s.depth * 1000, x[0], x[1], x[2]);
      out.push_back({x[0] / 1000, x[1] / 1000, x[2] / 1000});
    }
  return out;
}

bool on_edge(const Plane& p, long k) {
  long i = k % p.nstk, j = k / p.nstk;
  return i == 0 || j == 0 || i == p.nstk - 1 || j == p.ndip - 1;
}

}  // namespace

std::vector<double> rupture_times(const Description& d) {
  const size_t n = d.segments.size();
  if (n == 1 && !d.rupture_ratio) return {};
  std::vector<long> first(n + 1, 0);
  for (size_t g = 0; g < n; g++)
    first[g + 1] = first[g] + static_cast<long>(d.segments[g].plane.nstk) * d.segments[g].plane.ndip;
  std::vector<double> t(static_cast<size_t>(first[n]), std::numeric_limits<double>::infinity());
  auto speed_on = [&](const Plane& p) {
    return [&d, &p](double down) { return rupture_velocity_at(d, depth_at(p, down)); };
  };
  // The hypocentre's segment.
  const size_t h = static_cast<size_t>(d.hypo_segment);
  const Plane& hp = d.segments[h].plane;
  std::vector<double> own;
  if (d.rupture_ratio) {
    EikonalGrid g = grid_of(hp);
    own = times_from_point(g, hp.hypo_along_stk + hp.length / 2, hp.hypo_down_dip, speed_on(hp), eikonal_refinement(g));
  } else {
    for (int j = 1; j <= hp.ndip; j++)
      for (int i = 1; i <= hp.nstk; i++) own.push_back(straight_time(hp, centre_of(hp, i, j), d.rupture_velocity));
  }
  std::copy(own.begin(), own.end(), t.begin() + first[h]);
  if (n == 1) return t;

  // The candidates of every edge subfault of the segments not reached,
  // lowered by each segment as it is reached.
  std::vector<std::vector<Point3>> centres(n);
  std::vector<std::vector<double>> slowness(n);  // s/km at each subfault of a reached segment
  std::vector<std::vector<FrontStart>> candidates(n);
  std::vector<bool> reached(n, false);
  for (size_t g = 0; g < n; g++) {
    centres[g] = centres_3d(d.segments[g].plane);
    const Plane& p = d.segments[g].plane;
    for (long k = 0; k < static_cast<long>(centres[g].size()); k++)
      if (on_edge(p, k)) candidates[g].push_back({k, std::numeric_limits<double>::infinity()});
  }
  size_t now = h;
  for (size_t round = 1;; round++) {
    reached[now] = true;
    const Plane& rp = d.segments[now].plane;
    for (int j = 1; j <= rp.ndip; j++) {
      double s = 1 / rupture_velocity_at(d, depth_at(rp, centre_of(rp, 1, j).down));
      slowness[now].insert(slowness[now].end(), static_cast<size_t>(rp.nstk), s);
    }
    if (round == n) break;
    // Every edge subfault of the others from every subfault of this one.
    const double* tn = t.data() + first[now];
    for (size_t g = 0; g < n; g++) {
      if (reached[g]) continue;
      for (FrontStart& c : candidates[g]) {
        const Point3& xs = centres[g][static_cast<size_t>(c.index)];
        double best = c.t;
        for (size_t k = 0; k < centres[now].size(); k++) {
          const Point3& xp = centres[now][k];
          double dist = std::sqrt((xs[0] - xp[0]) * (xs[0] - xp[0]) + (xs[1] - xp[1]) * (xs[1] - xp[1]) +
                                  (xs[2] - xp[2]) * (xs[2] - xp[2]));
          best = std::min(best, tn[k] + dist * slowness[now][k]);
        }
        c.t = best;
      }
      check_end_signal();
    }
    // The next segment: the earliest candidate, with its delay.
    size_t next = n;
    double earliest = std::numeric_limits<double>::infinity();
    for (size_t g = 0; g < n; g++) {
      if (reached[g]) continue;
      for (const FrontStart& c : candidates[g])
        if (c.t + d.segments[g].delay < earliest) earliest = c.t + d.segments[g].delay, next = g;
    }
    std::vector<FrontStart> starts = candidates[next];
    for (FrontStart& c : starts) c.t += d.segments[next].delay;
    const Plane& np = d.segments[next].plane;
    EikonalGrid g = grid_of(np);
    std::vector<double> spread = times_from_starts(g, starts, speed_on(np), eikonal_refinement(g));
    std::copy(spread.begin(), spread.end(), t.begin() + first[next]);
    // What the next rounds need no more.
    now = next;
  }
  return t;
}

std::vector<Plane> planes_with_starts(const Description& d, const std::vector<double>& times) {
  std::vector<Plane> out;
  long first = 0;
  for (size_t g = 0; g < d.segments.size(); g++) {
    Plane p = d.segments[g].plane;
    long count = static_cast<long>(p.nstk) * p.ndip;
    if (static_cast<int>(g) != d.hypo_segment && !times.empty()) {
      auto begin = times.begin() + first;
      long k = std::min_element(begin, begin + count) - begin;
      SubfaultPlace s = centre_of(p, static_cast<int>(k % p.nstk) + 1, static_cast<int>(k / p.nstk) + 1);
      p.hypo_along_stk = s.along, p.hypo_down_dip = s.down;
    }
    out.push_back(p);
    first += count;
  }
  return out;
}
