#pragma once
// The four answers of each subfault: the plane's, overridden by the areas
// that hold its centre (a later area wins), then by its row of the table,
// and the slip scaled by the moment's factor (in a scenario, vm as well).
#include <vector>

#include "fault/description.h"
#include "fault/geometry.h"

// Whether `area` holds the centre of `s`, its edges included.
bool area_holds(const Area& area, const SubfaultPlace& s);

class SubfaultAnswers {
 public:
  SubfaultAnswers(const Description& d, double slip_factor);
  Answers of(const SubfaultPlace& s) const;
  // The answers before the magnitude's factor.
  Answers unscaled(const SubfaultPlace& s) const;

 private:
  const Description& d_;
  double slip_factor_;
  std::vector<const SubfaultRow*> rows_;  // the table's rows by (j, i): memory as the table, not the plane
};

// The factor that brings the fault's moment to `m0` (N m): the moment of the
// described slips (mu * area * slip, summed) against it.
double moment_factor(const Description& d, double m0);

// Shear modulus of the medium, Pa: density * vs^2.
double shear_modulus(const Description& d);
