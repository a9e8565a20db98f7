#include "fault/answer_range.h"

#include <cmath>

std::string answer_out_of_range(std::string_view name, double read, float stored) {
  // No slip is a subfault at rest; no duration, speed or frequency is.
  bool slip = name.substr(name.rfind('.') + 1) == "slip";
  bool ok = std::isfinite(read) && std::isfinite(stored) && (slip ? stored >= 0 : stored > 0);
  if (ok) return {};
  return slip ? "is outside [0, 3.4e38] m" : "is outside (0, 3.4e38]";
}
