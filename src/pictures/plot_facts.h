#pragma once
// What a picture of an SRF file needs, gathered while the reader streams the
// file: a few numbers per point, and the slip-rate samples of only a few
// telling subfaults, so that memory grows by some 28 bytes a point.
#include <string>
#include <vector>

#include "srf/srf_file.h"

// The numbers drawn of one point (floats: a picture needs no more digits).
struct PointFacts {
  float slip = 0;      // |(SLIP1, SLIP2, SLIP3)|, cm
  float tinit = 0;     // s
  float peak = 0;      // largest |slip-rate vector|, cm/s
  float duration = 0;  // TINIT to the last non-zero sample, s
  float lon = 0, lat = 0, dep = 0;  // degrees, km
};

// A subfault whose slip-rate function is drawn.
struct TellingSubfault {
  std::string role;      // "hypocentre", "largest slip", "longest duration", "edge"
  long index = -1;       // point in file order, from 0; -1: none found
  double tinit = 0, dt = 0;
  std::vector<float> rate;  // |slip-rate vector| per sample, cm/s
};

// Where a point lies on its segment's plane (km along strike from the top
// centre, km down dip from the top edge).
struct PlanePosition {
  int segment = -1;
  int i = 0, j = 0;      // subfault along strike and down dip, from 0
  double x = 0, y = 0;   // its centre
};

struct FaultFacts {
  SrfHeader header;
  std::vector<PointFacts> points;  // file order
  long points_with_samples = 0;
  // True when the points fill the PLANE segments in order (NSTK x NDIP
  // each, along strike fastest from the top): then points are drawn on
  // their planes; otherwise from their own positions.
  bool on_planes = false;
  std::vector<long> segment_start;  // first point of each segment (on_planes)
  std::vector<TellingSubfault> telling;  // the four roles, in that order
  double mean_strike = 0, mean_dip = 90;  // degrees, of the points
  double mean_side = 1;                   // km, the mean of sqrt(AREA)
  double rake = 0;                        // degrees, of the first point
  double moment = 0;                      // N m, as info finds it
  bool medium = true;                     // every point has VS and DEN (else no moment)
  // The hypocentre on the plane: segment -1 where no PLANE holds it.
  PlanePosition hypocentre;
};

// Where point `index` lies on its plane (on_planes only); segment -1 for a
// point beyond the planes' subfaults.
PlanePosition plane_position(const FaultFacts& facts, long index);
// A point's position from its own coordinates where the file has no usable
// PLANE: along the mean strike and down the mean dip from the points' middle
// (a local flat-earth projection, km); y grows down dip from the shallowest.
struct ProjectedPoints {
  std::vector<float> x, y;
};
ProjectedPoints project_points(const FaultFacts& facts);

// The best point so far by one measure, with its samples; the first point
// with the largest key wins.
struct BestPoint {
  double key = 0;
  long index = -1;
  double tinit = 0, dt = 0;
  std::vector<float> rate;
  void offer(double k, long n, const SrfPoint& p, const std::vector<float>& r);
  TellingSubfault as(const std::string& role) const { return {role, index, tinit, dt, rate}; }
};

// Gathers the facts as the reader hands over the file's parts.
class FactsCollector : public SrfVisitor {
 public:
  void header(const SrfHeader& h) override;
  void point(const SrfPoint& p) override;
  // After the last point: where the points go, and the telling subfaults.
  FaultFacts finish();

 private:
  void rate_magnitudes(const SrfPoint& p);
  void find_hypocentre_cell();
  bool on_plane_edge(long n) const;

  FaultFacts facts_;
  long planned_points_ = 0;
  // Each segment's SHYP, DHYP that lies on it: its cell, place and point.
  std::vector<long> hypo_cells_;
  std::vector<PlanePosition> hypo_places_;
  std::vector<BestPoint> hypo_points_;
  std::vector<float> rate_;
  BestPoint largest_slip_, longest_, earliest_, edge_plane_, edge_deep_;
  double deepest_ = 0;
  double sum_sin_ = 0, sum_cos_ = 0, sum_dip_ = 0, sum_side_ = 0;
};

// Reads the SRF file and gathers its facts; the reader's refusal passes on.
FaultFacts gather_facts(const std::string& path, std::vector<std::string>* warnings);
