#include "fault/plane_medium.h"

#include "fault/geometry.h"

double rupture_velocity_at(const Description& d, double km) {
  if (!d.rupture_ratio) return d.rupture_velocity;
  return ratio_at(*d.rupture_ratio, km) * layer_at(d.medium, km).vs;
}

void set_plane_means(Description& d) {
  if (d.medium.layers.size() == 1 && !d.rupture_ratio) {
    const Layer& l = d.medium.layers[0];
    d.vs = l.vs, d.density = l.density, d.mu = layer_shear_modulus(l);
    return;
  }
  // Every subfault of a row has the same depth and area: one term a row.
  double w = 0, vs = 0, density = 0, mu = 0, vr = 0;
  for (const Segment& seg : d.segments) {
    const Plane& p = seg.plane;
    for (int j = 1; j <= p.ndip; j++) {
    double km = depth_at(p, centre_of(p, 1, j).down);
    const Layer& l = layer_at(d.medium, km);
    double a = p.nstk * subfault_area_km2(p);
    w += a;
    vs += a * l.vs;
    density += a * l.density;
    mu += a * layer_shear_modulus(l);
    vr += a * rupture_velocity_at(d, km);
    }
  }
  d.vs = vs / w, d.density = density / w, d.mu = mu / w;
  if (d.rupture_ratio) d.rupture_velocity = vr / w;
}
