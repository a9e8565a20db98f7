#pragma once
// The geometry of an SRF plane: its cells (subfaults) and where a point of it
// lies on the Earth (WGS84). The one definition that the fault run, the
// figure and the map share.
#include <numbers>

#include "srf/srf_file.h"

// Degrees to radians, and the mean Earth radius of a picture's local
// projections (km); positions that a simulation reads are geodesics on the
// ellipsoid, never this sphere.
inline double radians(double degrees) { return degrees * std::numbers::pi / 180; }
constexpr double mean_earth_radius_km = 6371.0088;

// A plane cut into cells along strike and down dip: the left edge along
// strike (-LEN/2 km from the top centre), the top edge down dip (0), and the
// cells' length and width (km).
struct PlaneCells {
  double along_start = 0, along_step = 0;  // km
  double down_step = 0;                    // km
  int nstk = 0, ndip = 0;                  // cells along strike and down dip

  // The centre of cell i along strike and j down dip, both from 0:
  // -LEN/2 + (i + 1/2) step and (j + 1/2) step, in km.
  double along(int i) const { return along_start + (i + 0.5) * along_step; }
  double down(int j) const { return (j + 0.5) * down_step; }
  // The cell that holds `along` or `down` km; a point on the far edge
  // belongs to the last cell.
  int cell_along(double along) const;
  int cell_down(double down) const;
};

// The plane cut into nx x ny equal cells (its own NSTK x NDIP, or coarser
// blocks for a picture).
PlaneCells plane_cells(const SrfPlane& s, int nx, int ny);
inline PlaneCells plane_cells(const SrfPlane& s) { return plane_cells(s, s.nstk, s.ndip); }

// A longitude (degrees) in [-180, 180).
double normal_longitude(double lon);
// `lon` moved by whole turns into [reference - 180, reference + 180): the
// longitudes of one plane in one continuous interval around its top centre,
// beyond 180 or below -180 for a plane across the antimeridian (a file whose
// points jump from +179.9 to -179.9 puts some of them on the far side of a
// simulation's grid).
double longitude_near(double lon, double reference);

struct LonLat {
  double lon = 0, lat = 0;  // degrees
};

// The surface position above a point of plane `s` (top centre ELON, ELAT,
// strike STK, dip DIP, degrees): `along` km along the strike azimuth (a
// negative distance walks the geodesic backwards), then the horizontal part
// of `down` km down dip (down * cos(dip)) along the azimuth 90 degrees
// clockwise of that first geodesic's own azimuth at its end. The longitude
// lies within 180 degrees of ELON (longitude_near).
LonLat surface_position(const SrfPlane& s, double along, double down);
