#include "fault/answer_range.h"

#include <cmath>

#include "fault/subfault_pulse.h"

std::string answer_out_of_range(std::string_view name, double read, float stored) {
  // No slip is a subfault at rest; no duration, speed or frequency is.
  std::string_view answer = name.substr(name.rfind('.') + 1);
  bool slip = answer == "slip";
  bool ok = std::isfinite(read) && std::isfinite(stored) && (slip ? stored >= 0 : stored > 0);
  if (!ok) return slip ? "is outside [0, 3.4e38] m" : "is outside (0, 3.4e38]";
  // The grid of the samples ends somewhere: a longer pulse would be cut.
  if (answer == "ts" && stored > longest_pulse_s)
    return "is longer than the " + float_text(static_cast<float>(longest_pulse_s)) +
           " s that a subfault's samples may span";
  return {};
}
