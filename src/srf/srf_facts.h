#pragma once
// The facts of an SRF file that `slipvel-fault info` prints, gathered point
// by point as the reader hands them over.
#include <string>
#include <vector>

#include "srf/srf_file.h"

struct SrfFacts : SrfVisitor {
  std::string version;
  std::vector<SrfPlane> planes;
  int blocks = 0;
  long points = 0;
  long sampled = 0;              // points with NT1 > 0
  bool medium = true;            // every point has VS and DEN
  double area_slip = 0;          // sum of AREA*SLIP1, cm^3
  double moment = 0;             // sum of mu*AREA*|in-plane slip|, N m
  long largest_nt1 = 0;
  double largest_tinit = 0;      // s
  double worst_misfit = -1;      // largest |DT*sum(SR1) - SLIP1|/SLIP1; -1 before a point with SLIP1 > 0
  long worst_line = 0;           // the first line of that point

  void header(const SrfHeader& h) override;
  void block(int index, long declared_points) override;
  void point(const SrfPoint& p) override;
};

// The moment (N m) of one point: mu * AREA * |u| with mu from its VS and
// DEN and |u| its slip in the fault plane, sqrt(SLIP1^2 + SLIP2^2); 0 for a
// point without VS and DEN.
double point_moment(const SrfPoint& p);

// The facts one to a line, "name: value", in a fixed order (see the manual
// page): version, segments, POINTS blocks, points, points with samples,
// sum of AREA*SLIP1, moment M0, Mw, largest NT1, largest TINIT, the
// largest misfit of the samples.
std::string facts_text(const SrfFacts& facts);
