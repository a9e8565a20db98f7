#pragma once
// SRF text in the fault tool's layout (srf/srf_write.h) for points given
// field by field, their samples from any source: what slipvel.srf.write
// writes. Blank-separated fields of fixed widths, samples six to a line.
#include <string>

struct PlaneText {
  double elon, elat;
  long nstk, ndip;
  double len, wid, stk, dip, dtop, shyp, dhyp;
};
struct PointText {
  double lon, lat, dep, stk, dip, area, tinit, dt, vs, den, rake, slip1, slip2, slip3;
};

void append_plane(std::string& out, const PlaneText& p);
// The point's two lines (VS and DEN in version 2.0), then its runs of
// samples, each starting on a line of its own.
void append_point(std::string& out, bool v2, const PointText& p, const float* sr1, long nt1,
                  const float* sr2, long nt2, const float* sr3, long nt3);
