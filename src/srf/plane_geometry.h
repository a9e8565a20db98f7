#pragma once
// Where a point of an SRF plane lies on the Earth (WGS84): the one definition
// that the fault run, the figure and the map share.

// The surface position above a point of a plane whose top centre is at
// (lat, lon) degrees, with strike and dip in degrees: `along` km along the
// strike azimuth, then the horizontal part of `down` km down dip
// (down * cos(dip)), 90 degrees clockwise of that first geodesic's own
// azimuth at its end.
void surface_position(double lat, double lon, double strike, double dip, double along, double down,
                      double& lat_out, double& lon_out);
