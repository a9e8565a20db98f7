#include "fault/segment_crossing.h"

#include <GeographicLib/Geocentric.hpp>

#include <array>

#include "fault/geometry.h"
#include "srf/plane_geometry.h"

namespace {

using Vec = std::array<double, 3>;

Vec sub(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// A point of a plane in Earth-centred coordinates (km), placed as the
// subfaults are.
Vec point_3d(const Plane& p, double along, double down) {
  double x, y, z;
  LonLat at = surface_position(srf_plane(p), along, down);
  GeographicLib::Geocentric::WGS84().Forward(at.lat, at.lon, -depth_at(p, down) * 1000, x, y, z);
  return {x / 1000, y / 1000, z / 1000};
}

// The corners in order round the rectangle.
std::array<Vec, 4> corners(const Plane& p) {
  return {point_3d(p, -p.length / 2, 0), point_3d(p, p.length / 2, 0), point_3d(p, p.length / 2, p.width),
          point_3d(p, -p.length / 2, p.width)};
}

// Whether the line a-b passes through the inside of the parallelogram p +
// u (q - p) + v (r - p), 0 < u, v < 1 (Moeller and Trumbore's ray test,
// 1997), away from its ends and the parallelogram's edges by a thousandth,
// so that segments that only touch do not count.
bool through(const Vec& a, const Vec& b, const Vec& p, const Vec& q, const Vec& r) {
  const double eps = 1e-3;
  Vec dir = sub(b, a), e1 = sub(q, p), e2 = sub(r, p);
  Vec h = cross(dir, e2);
  double det = dot(e1, h);
  if (det == 0) return false;  // parallel to the plane: not through it
  Vec s = sub(a, p);
  double u = dot(s, h) / det;
  Vec qv = cross(s, e1);
  double v = dot(dir, qv) / det;
  double t = dot(e2, qv) / det;
  return t > eps && t < 1 - eps && u > eps && u < 1 - eps && v > eps && v < 1 - eps;
}

// An edge of rectangle a through the inside of rectangle b.
bool crosses(const std::array<Vec, 4>& a, const std::array<Vec, 4>& b) {
  for (size_t k = 0; k < 4; k++)
    if (through(a[k], a[(k + 1) % 4], b[0], b[1], b[3])) return true;
  return false;
}

}  // namespace

std::vector<std::pair<int, int>> crossing_segments(const std::vector<Segment>& segments) {
  std::vector<std::array<Vec, 4>> c;
  for (const Segment& s : segments) c.push_back(corners(s.plane));
  std::vector<std::pair<int, int>> out;
  for (size_t a = 0; a < c.size(); a++)
    for (size_t b = a + 1; b < c.size(); b++)
      if (crosses(c[a], c[b]) || crosses(c[b], c[a])) out.push_back({static_cast<int>(a), static_cast<int>(b)});
  return out;
}
