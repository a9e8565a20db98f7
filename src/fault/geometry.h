#pragma once
// Where each subfault lies: its centre on the plane, its depth, longitude and
// latitude on the WGS84 ellipsoid, and when the rupture front reaches it.
#include "fault/description.h"
#include "srf/srf_file.h"

struct SubfaultPlace {
  int segment = 0;           // from 0
  int i = 0, j = 0;          // from 1: along strike, down dip
  double along = 0, down = 0;  // km from the top centre along strike, from the top edge down dip
  double lon = 0, lat = 0;   // degrees
  double depth = 0;          // km
  double tinit = 0;          // s: distance on the plane from the hypocentre / rupture velocity
};

// The centre of subfault (i, j): along strike -LEN/2 + (i - 1/2) DLEN, down
// dip (j - 1/2) DWID, depth DEPTH_TO_TOP + down-dip offset * sin(dip).
// Position: a geodesic from the top centre along the strike azimuth by the
// along-strike offset, then one from its end by the horizontal down-dip
// offset (down-dip offset * cos(dip)) along the azimuth 90 degrees clockwise
// of the first geodesic's own azimuth at its end.
// `plane` is the description's plane as the SRF states it (srf_plane).
SubfaultPlace place_subfault(const Description& d, const SrfPlane& plane, int i, int j);
SubfaultPlace place_subfault(const Description& d, int i, int j);

// The same on any plane `p` (`plane` as the SRF states it), without the
// rupture time.
SubfaultPlace place_on(const Plane& p, const SrfPlane& plane, int i, int j);

// The straight distance on the plane from the hypocentre over the velocity.
double straight_time(const Plane& p, const SubfaultPlace& s, double velocity);

// Only the indices and the centre on the plane (along, down) of (i, j).
SubfaultPlace centre_of(const Plane& p, int i, int j);

// Depth of a point `down` km down dip from the top edge, km.
double depth_at(const Plane& p, double down);

// Area of every subfault, DLEN * DWID, in km^2.
double subfault_area_km2(const Plane& p);

// The plane as the SRF's PLANE segment states it.
SrfPlane srf_plane(const Plane& p);
