#include "pictures/plot_facts.h"

#include <algorithm>
#include <cmath>

#include "srf/plane_geometry.h"
#include "srf/srf_facts.h"
#include "sys/end_signal.h"
#include "sys/refusal.h"

void BestPoint::offer(double k, long n, const SrfPoint& p, const std::vector<float>& r) {
  if (index >= 0 && !(k > key)) return;
  key = k;
  index = n;
  tinit = p.tinit;
  dt = p.dt;
  rate = r;
}

void FactsCollector::header(const SrfHeader& h) {
  facts_.header = h;
  long start = 0;
  for (const SrfPlane& s : h.planes) {
    facts_.segment_start.push_back(start);
    start += static_cast<long>(s.nstk) * s.ndip;
  }
  planned_points_ = start;
  find_hypocentre_cell();
}

void FactsCollector::point(const SrfPoint& p) {
  long n = static_cast<long>(facts_.points.size());
  if ((n & 4095) == 0) check_end_signal();
  PointFacts f;
  f.slip = static_cast<float>(std::sqrt(p.slip1 * p.slip1 + p.slip2 * p.slip2 + p.slip3 * p.slip3));
  f.tinit = static_cast<float>(p.tinit);
  rate_magnitudes(p);
  double peak = 0;
  long last = -1;
  for (size_t k = 0; k < rate_.size(); k++) {
    if (rate_[k] > peak) peak = rate_[k];
    if (rate_[k] != 0) last = static_cast<long>(k);
  }
  f.peak = static_cast<float>(peak);
  f.duration = static_cast<float>(last > 0 ? static_cast<double>(last) * p.dt : 0.0);
  if (n == 0) facts_.rake = p.rake;
  facts_.moment += point_moment(p);
  facts_.medium = facts_.medium && p.has_medium;
  f.lon = static_cast<float>(p.lon);
  f.lat = static_cast<float>(p.lat);
  f.dep = static_cast<float>(p.dep);
  facts_.points.push_back(f);
  if (!rate_.empty()) facts_.points_with_samples++;

  largest_slip_.offer(f.slip, n, p, rate_);
  longest_.offer(f.duration, n, p, rate_);
  earliest_.offer(-p.tinit, n, p, rate_);
  for (size_t k = 0; k < hypo_cells_.size(); k++)
    if (n == hypo_cells_[k]) hypo_points_[k].offer(0, n, p, rate_);
  if (on_plane_edge(n)) edge_plane_.offer(f.slip, n, p, rate_);
  // Without a plane the bottom edge is the deepest row: depths within a
  // metre count as one row.
  if (n == 0 || p.dep > deepest_ + 1e-3) {
    deepest_ = p.dep;
    edge_deep_ = BestPoint();
  }
  if (p.dep > deepest_ - 1e-3) edge_deep_.offer(f.slip, n, p, rate_);
  sum_sin_ += std::sin(radians(p.stk));
  sum_cos_ += std::cos(radians(p.stk));
  sum_dip_ += p.dip;
  sum_side_ += std::sqrt(p.area) / 1e5;  // cm^2 -> km of side
}

FaultFacts FactsCollector::finish() {
  long n = static_cast<long>(facts_.points.size());
  facts_.on_planes = !facts_.header.planes.empty() && n == planned_points_;
  if (!facts_.on_planes) facts_.segment_start.clear();
  if (n > 0) {
    double strike = std::atan2(sum_sin_, sum_cos_) / radians(1);
    facts_.mean_strike = strike < 0 ? strike + 360 : strike;
    facts_.mean_dip = sum_dip_ / static_cast<double>(n);
    facts_.mean_side = sum_side_ / static_cast<double>(n);
  }
  BestPoint hypo_plane;
  for (size_t k = 0; k < hypo_points_.size(); k++)
    if (hypo_points_[k].index >= 0 && (hypo_plane.index < 0 || hypo_points_[k].tinit < hypo_plane.tinit)) {
      hypo_plane = hypo_points_[k];
      facts_.hypocentre = hypo_places_[k];
    }
  bool hypo_on_plane = facts_.on_planes && hypo_plane.index >= 0;
  if (!hypo_on_plane) facts_.hypocentre = PlanePosition();
  facts_.telling = {(hypo_on_plane ? hypo_plane : earliest_).as("hypocentre"),
                    largest_slip_.as("largest slip"), longest_.as("longest duration"),
                    (facts_.on_planes ? edge_plane_ : edge_deep_).as("edge")};
  return std::move(facts_);
}

// The slip-rate vector's length per sample: u1 alone in most files; u2 and
// u3 where they are given, each over its own NT.
void FactsCollector::rate_magnitudes(const SrfPoint& p) {
  size_t nt = std::max({p.sr1.size(), p.sr2.size(), p.sr3.size()});
  rate_.assign(nt, 0.0f);
  for (size_t k = 0; k < nt; k++) {
    double a = k < p.sr1.size() ? p.sr1[k] : 0, b = k < p.sr2.size() ? p.sr2[k] : 0,
           c = k < p.sr3.size() ? p.sr3[k] : 0;
    rate_[k] = static_cast<float>(std::sqrt(a * a + b * b + c * c));
  }
}

// The subfault that holds SHYP, DHYP of each segment whose own plane holds
// them (they are given per segment; a file of several segments may give on
// each the place where the rupture starts on it): the hypocentre is the one
// reached first, the first segment's where several tie.
void FactsCollector::find_hypocentre_cell() {
  const std::vector<SrfPlane>& planes = facts_.header.planes;
  for (size_t k = 0; k < planes.size(); k++) {
    const SrfPlane& s = planes[k];
    if (s.nstk <= 0 || s.ndip <= 0 || !(s.len > 0) || !(s.wid > 0)) continue;
    if (!(s.shyp >= -s.len / 2 && s.shyp <= s.len / 2 && s.dhyp >= 0 && s.dhyp <= s.wid)) continue;
    PlaneCells cells = plane_cells(s);
    int i = cells.cell_along(s.shyp), j = cells.cell_down(s.dhyp);
    hypo_cells_.push_back(facts_.segment_start[k] + static_cast<long>(j) * s.nstk + i);
    hypo_places_.push_back({static_cast<int>(k), i, j, s.shyp, s.dhyp});
    hypo_points_.emplace_back();
  }
}

bool FactsCollector::on_plane_edge(long n) const {
  PlanePosition p = plane_position(facts_, n);
  if (p.segment < 0) return false;
  const SrfPlane& s = facts_.header.planes[p.segment];
  return p.i == 0 || p.j == 0 || p.i == s.nstk - 1 || p.j == s.ndip - 1;
}

PlanePosition plane_position(const FaultFacts& facts, long index) {
  const std::vector<SrfPlane>& planes = facts.header.planes;
  for (size_t k = planes.size(); k-- > 0;) {
    if (index < facts.segment_start[k]) continue;
    const SrfPlane& s = planes[k];
    long m = index - facts.segment_start[k];
    if (m >= static_cast<long>(s.nstk) * s.ndip) return {};  // beyond the last segment
    int i = static_cast<int>(m % s.nstk), j = static_cast<int>(m / s.nstk);
    // Along strike fastest, from the first subfault along strike at the top.
    PlaneCells cells = plane_cells(s);
    return {static_cast<int>(k), i, j, cells.along(i), cells.down(j)};
  }
  return {};
}

ProjectedPoints project_points(const FaultFacts& facts) {
  ProjectedPoints out;
  size_t n = facts.points.size();
  if (n == 0) return out;
  double lon0 = facts.points[0].lon, lat0 = facts.points[0].lat;
  double cos_lat = std::cos(radians(lat0));
  double stk = radians(facts.mean_strike), dip = radians(facts.mean_dip);
  std::vector<double> s(n), d(n);
  double s_lo = INFINITY, s_hi = -INFINITY, d_lo = INFINITY;
  for (size_t k = 0; k < n; k++) {
    const PointFacts& p = facts.points[k];
    double east = radians(p.lon - lon0) * cos_lat * mean_earth_radius_km;
    double north = radians(p.lat - lat0) * mean_earth_radius_km;
    // Unit vectors: along strike (sin, cos) in (east, north); down dip the
    // horizontal direction 90 degrees clockwise of strike, tilted down by dip.
    s[k] = east * std::sin(stk) + north * std::cos(stk);
    double across = east * std::cos(stk) - north * std::sin(stk);
    d[k] = across * std::cos(dip) + p.dep * std::sin(dip);
    s_lo = std::min(s_lo, s[k]);
    s_hi = std::max(s_hi, s[k]);
    d_lo = std::min(d_lo, d[k]);
  }
  double s_mid = (s_lo + s_hi) / 2;
  out.x.resize(n);
  out.y.resize(n);
  for (size_t k = 0; k < n; k++) {
    out.x[k] = static_cast<float>(s[k] - s_mid);
    out.y[k] = static_cast<float>(d[k] - d_lo + facts.mean_side / 2);
  }
  return out;
}

FaultFacts gather_facts(const std::string& path, std::vector<std::string>* warnings) {
  FactsCollector collector;
  read_srf(path, collector, warnings);
  FaultFacts facts = collector.finish();
  if (facts.points.empty()) throw Refusal(path + ": no points to draw");
  return facts;
}
