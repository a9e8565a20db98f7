#pragma once
// An SRF file (Standard Rupture Format, versions 1.0 and 2.0) as the reader
// hands it over: the header at once, then one point at a time, so that a
// file of any size is read in constant memory.
#include <string>
#include <vector>

// One PLANE segment: top centre, subfault counts, size and orientation.
struct SrfPlane {
  double elon = 0, elat = 0;  // top centre, degrees
  int nstk = 0, ndip = 0;     // subfaults along strike and down dip
  double len = 0, wid = 0;    // km
  double stk = 0, dip = 0;    // degrees
  double dtop = 0;            // depth to the top edge, km
  double shyp = 0, dhyp = 0;  // hypocentre along strike from the top centre, down dip from the top, km
};

// One point with its slip-rate samples (cm/s).
struct SrfPoint {
  double lon = 0, lat = 0, dep = 0;  // degrees, km
  double stk = 0, dip = 0;           // degrees
  double area = 0;                   // cm^2
  double tinit = 0, dt = 0;          // s
  double vs = 0, den = 0;            // cm/s, g/cm^3; 0 where the file has none (1.0)
  bool has_medium = false;           // VS and DEN given
  double rake = 0;                   // degrees
  double slip1 = 0, slip2 = 0, slip3 = 0;  // cm
  std::vector<double> sr1, sr2, sr3;       // NT1, NT2, NT3 samples
  int block = 0;   // POINTS block, from 0
  long line = 0;   // line of the point's first line in the file, from 1
};

// What comes before the points.
struct SrfHeader {
  std::string version;            // "1.0" or "2.0"
  std::vector<SrfPlane> planes;   // empty where the file has no PLANE block
};

// Receives the file's parts in order: the header, then for each POINTS block
// its declared count and its points.
struct SrfVisitor {
  virtual ~SrfVisitor() = default;
  virtual void header(const SrfHeader&) {}
  virtual void block(int /*index*/, long /*declared_points*/) {}
  virtual void point(const SrfPoint&) = 0;
};

// Reads `path` ("-": standard input) from start to end. A malformed file throws Refusal with one
// line "PATH:LINE: what is wrong"; what the reader tolerates is said in
// `warnings` (one line each, in the same form) when it is given.
void read_srf(const std::string& path, SrfVisitor& visitor,
              std::vector<std::string>* warnings = nullptr);
