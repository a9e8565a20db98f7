#pragma once
// The four answers of each subfault: the plane's, overridden by the areas
// that hold its centre (a later area wins), then by its row of the table,
// and the slip scaled by the moment's factor (in a scenario, vm as well).
#include <vector>

#include "fault/description.h"
#include "fault/geometry.h"

class SubfaultAnswers {
 public:
  SubfaultAnswers(const Description& d, double slip_factor);
  Answers of(const SubfaultPlace& s) const;
  // The answers before the magnitude's factor.
  Answers unscaled(const SubfaultPlace& s) const;
  double slip_factor() const { return slip_factor_; }

 private:
  const Description& d_;
  double slip_factor_;
  std::vector<const SubfaultRow*> rows_;  // the table's rows by (j, i): memory as the table, not the plane
};

// The longest ts (s) that any subfault of the description can get: the
// plane's, an area's or a table row's.
float longest_ts(const Description& d);

// Warns of areas that change nothing: one that sets none of the four
// answers, one that holds no subfault centre ("PATH:LINE: ..." each).
void warn_idle_areas(const Description& d, std::vector<std::string>& warnings);

// Whether `area` holds the centre at `along`, `down` km: its edges included,
// to a millionth of the plane's subfault size.
bool area_holds(const Area& area, const Plane& p, double along, double down);

// The factor that brings the fault's moment to `m0` (N m): the moment of the
// described slips (each subfault's layer mu * area * slip, summed) against it.
double moment_factor(const Description& d, double m0);

// The factor that brings the fault's moment to magnitude `mw`: the
// moment_factor of 10^(1.5 mw + 9.1).
double magnitude_factor(const Description& d, double mw);

// Shear modulus of the medium where the fault needs one figure, Pa: density *
// vs^2 of a uniform medium, the area-weighted mean over the plane of layers.
double shear_modulus(const Description& d);
