#pragma once
// SRF points in the fault tool's layout (srf/srf_write.h) as they stand,
// with their slips and all three runs of samples given: what
// slipvel.srf.write writes after srf_header: blank-separated fields of
// fixed widths, samples six to a line.
#include <string>

struct PointText {
  double lon, lat, dep, stk, dip, area, tinit, dt, vs, den, rake, slip1, slip2, slip3;
};

// The point's two lines (VS and DEN in version 2.0), then its runs of
// samples, each starting on a line of its own.
void append_point(std::string& out, bool v2, const PointText& p, const float* sr1, long nt1,
                  const float* sr2, long nt2, const float* sr3, long nt3);
