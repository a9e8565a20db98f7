#pragma once
// The medium and the rupture velocity as the subfaults meet them: each
// subfault takes the layer that holds its centre's depth.
#include "fault/description.h"

// Rupture velocity at depth `km` (km/s): [rupture] velocity, or the ratio
// there times the shear velocity of the layer there.
double rupture_velocity_at(const Description& d, double km);

// Sets d.vs, d.density, d.mu and, with a velocity ratio, d.rupture_velocity
// to their area-weighted means over the plane (every segment's) (a uniform medium's own values
// as they stand).
void set_plane_means(Description& d);
