#include "fault/rupture_times.h"

#include <GeographicLib/Geocentric.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <thread>

#include "crust/eikonal.h"
#include "fault/geometry.h"
#include "fault/plane_medium.h"
#include "sys/end_signal.h"

namespace {

using Point3 = std::array<double, 3>;

EikonalGrid grid_of(const Plane& p) { return {p.nstk, p.ndip, p.dlen, p.dwid}; }

// A subfault centre in Earth-centred coordinates (km), so that distances
// between segments are straight 3-D lines.
Point3 centre_3d(const Plane& p, long k) {
  SubfaultPlace s = place_on(p, srf_plane(p), static_cast<int>(k % p.nstk) + 1, static_cast<int>(k / p.nstk) + 1);
  Point3 x;
  GeographicLib::Geocentric::WGS84().Forward(s.lat, s.lon, -s.depth * 1000, x[0], x[1], x[2]);
  return {x[0] / 1000, x[1] / 1000, x[2] / 1000};
}

double distance(const Point3& a, const Point3& b) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// f(k) for k = 0 .. n-1 on `jobs` threads, interleaved.
template <class F>
void parallel_for(long n, int jobs, F f) {
  auto work = [&](long t) {
    for (long k = t; k < n; k += jobs) f(k);
  };
  std::vector<std::jthread> threads;
  for (long t = 1; t < jobs && t < n; t++) threads.emplace_back(work, t);
  work(0);
}

// An edge subfault of a segment not yet reached, with its earliest time so far.
struct Candidate {
  long index = 0;
  double t = std::numeric_limits<double>::infinity();
  Point3 x{};
};

// A reached segment as a source of the jump: its subfaults in blocks of
// 16 x 16, each with its earliest time, least slowness and bounding box, so
// that min over p of T(p) + |x - x_p| s(p) looks only into the blocks whose
// bound T_min + dist(x, box) s_min can still beat the best found (the same
// least as a look at every subfault, at a few blocks' cost).
class Source {
 public:
  Source(const Plane& p, const double* t, const Description& d, int jobs) : t_(t) {
    const long n = static_cast<long>(p.nstk) * p.ndip;
    x_.resize(static_cast<size_t>(n));
    s_.resize(static_cast<size_t>(n));
    parallel_for(n, jobs, [&](long k) {
      x_[static_cast<size_t>(k)] = centre_3d(p, k);
      s_[static_cast<size_t>(k)] =
          1 / rupture_velocity_at(d, depth_at(p, centre_of(p, 1, static_cast<int>(k / p.nstk) + 1).down));
    });
    const int b = 16;
    for (int j0 = 0; j0 < p.ndip; j0 += b)
      for (int i0 = 0; i0 < p.nstk; i0 += b) {
        Block blk;
        for (int j = j0; j < std::min(p.ndip, j0 + b); j++)
          for (int i = i0; i < std::min(p.nstk, i0 + b); i++) {
            size_t k = static_cast<size_t>(j) * static_cast<size_t>(p.nstk) + static_cast<size_t>(i);
            blk.members.push_back(static_cast<long>(k));
            blk.t_min = std::min(blk.t_min, t_[k]);
            blk.s_min = std::min(blk.s_min, s_[k]);
            for (int c = 0; c < 3; c++) {
              blk.lo[static_cast<size_t>(c)] = std::min(blk.lo[static_cast<size_t>(c)], x_[k][static_cast<size_t>(c)]);
              blk.hi[static_cast<size_t>(c)] = std::max(blk.hi[static_cast<size_t>(c)], x_[k][static_cast<size_t>(c)]);
            }
          }
        blocks_.push_back(std::move(blk));
      }
  }

  // min(best, min over p of T(p) + |x - x_p| s(p)).
  double earliest(const Point3& x, double best) const {
    thread_local std::vector<std::pair<double, size_t>> order;
    order.clear();
    for (size_t b = 0; b < blocks_.size(); b++) {
      const Block& blk = blocks_[b];
      double gap2 = 0;
      for (size_t c = 0; c < 3; c++) {
        double out = std::max({blk.lo[c] - x[c], 0.0, x[c] - blk.hi[c]});
        gap2 += out * out;
      }
      double bound = blk.t_min + std::sqrt(gap2) * blk.s_min;
      if (bound < best) order.push_back({bound, b});
    }
    std::sort(order.begin(), order.end());
    for (const auto& [bound, b] : order) {
      if (bound >= best) break;
      for (long k : blocks_[b].members) {
        size_t u = static_cast<size_t>(k);
        best = std::min(best, t_[u] + distance(x, x_[u]) * s_[u]);
      }
    }
    return best;
  }

 private:
  struct Block {
    std::vector<long> members;
    double t_min = std::numeric_limits<double>::infinity(), s_min = std::numeric_limits<double>::infinity();
    Point3 lo{INFINITY, INFINITY, INFINITY}, hi{-INFINITY, -INFINITY, -INFINITY};
  };
  const double* t_;
  std::vector<Point3> x_;
  std::vector<double> s_;  // s/km
  std::vector<Block> blocks_;
};

bool on_edge(const Plane& p, long k) {
  long i = k % p.nstk, j = k / p.nstk;
  return i == 0 || j == 0 || i == p.nstk - 1 || j == p.ndip - 1;
}

}  // namespace

std::vector<double> rupture_times(const Description& d, int jobs) {
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
  std::vector<std::vector<Candidate>> candidates(n);
  std::vector<bool> reached(n, false);
  for (size_t g = 0; g < n; g++) {
    if (g == h) continue;
    const Plane& p = d.segments[g].plane;
    for (long k = 0; k < first[g + 1] - first[g]; k++)
      if (on_edge(p, k)) candidates[g].push_back({k, std::numeric_limits<double>::infinity(), {}});
    parallel_for(static_cast<long>(candidates[g].size()), jobs,
                 [&](long k) { candidates[g][static_cast<size_t>(k)].x = centre_3d(p, candidates[g][static_cast<size_t>(k)].index); });
  }
  for (size_t now = h, round = 1; round < n; round++) {
    reached[now] = true;
    // Every edge subfault of the others from every subfault of this one.
    Source source(d.segments[now].plane, t.data() + first[now], d, jobs);
    for (size_t g = 0; g < n; g++) {
      if (reached[g]) continue;
      std::vector<Candidate>& cs = candidates[g];
      parallel_for(static_cast<long>(cs.size()), jobs,
                   [&](long k) { cs[static_cast<size_t>(k)].t = source.earliest(cs[static_cast<size_t>(k)].x, cs[static_cast<size_t>(k)].t); });
      check_end_signal();
    }
    // The next segment: the earliest candidate, with its delay.
    size_t next = n;
    double earliest = std::numeric_limits<double>::infinity();
    for (size_t g = 0; g < n; g++) {
      if (reached[g]) continue;
      for (const Candidate& c : candidates[g])
        if (c.t + d.segments[g].delay < earliest) earliest = c.t + d.segments[g].delay, next = g;
    }
    std::vector<FrontStart> starts;
    for (const Candidate& c : candidates[next]) starts.push_back({c.index, c.t + d.segments[next].delay});
    const Plane& np = d.segments[next].plane;
    EikonalGrid g = grid_of(np);
    std::vector<double> spread = times_from_starts(g, starts, speed_on(np), eikonal_refinement(g));
    std::copy(spread.begin(), spread.end(), t.begin() + first[next]);
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
