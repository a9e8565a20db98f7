#pragma once
// The crust around the fault: a stack of flat layers over a half-space (one
// layer for a uniform medium), and the rupture velocity it sets.
#include <optional>
#include <string>
#include <vector>

// One layer: km, km/s, km/s, g/cm^3. The last layer's thickness is not used:
// it is the half-space.
struct Layer {
  double thickness = 0, vp = 0, vs = 0, density = 0;
};

struct Medium {
  std::vector<Layer> layers;  // from the surface down; at least one
  std::vector<double> tops;   // depth of each layer's top, km (the first 0)
};

// A medium of the layers given, with the depths of their tops.
Medium layered_medium(std::vector<Layer> layers);

// The layer that holds depth `km`: a depth on a boundary belongs to the
// deeper layer; above the surface, the first.
const Layer& layer_at(const Medium& m, double km);

// Shear modulus mu = rho beta^2 of a layer, Pa.
double layer_shear_modulus(const Layer& l);

// The broadband platforms' velocity file: the number of layers on the first
// line, then per layer "thickness vp vs rho qp qs" (km, km/s, km/s, g/cm^3;
// the Q columns read and not used; the last layer the half-space). A file
// that cannot be read or has a wrong count of layers or fields, a thickness
// (but the last), VS or density that is not positive, is refused with one
// line naming the file and the line.
Medium read_velocity_file(const std::string& path);

// The check of one layer (numbered from 1) shared by the file and the
// description's table: "" when good, else what is wrong.
std::string layer_fault(const Layer& l, int number, bool last);

// Rupture velocity as a fraction of the local shear velocity: `ratio` below
// shallow_depth + 1 km, `shallow_ratio` above shallow_depth, and a linear
// change over the kilometre between.
struct VelocityRatio {
  double ratio = 0;
  std::optional<double> shallow_ratio, shallow_depth;  // both or neither
};

// The ratio at depth `km`.
double ratio_at(const VelocityRatio& r, double km);
