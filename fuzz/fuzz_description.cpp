// Fuzz target: arbitrary bytes as a fault description. Every text must be
// accepted or refused with one line naming the file; an accepted one must
// describe a plane that its checks promise (a scenario's regions derived or
// refused naming the file), and its first subfault's pulse must be computed
// or refused, never crash or hang.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>

#include "fault/description.h"
#include "fault/scenario_regions.h"
#include "sys/refusal.h"
#include "fault/subfault_pulse.h"
#include "fuzz_support.h"
#include "pulse/pulse_times.h"

namespace {

const char* const files[] = {"f.toml", nullptr};

void write_description(const uint8_t* data, size_t size) {
  int fd = open("f.toml", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) || close(fd) != 0)
    finding("cannot write f.toml");
}

void expect_plane(const Description& d) {
  const Plane& p = d.plane;
  if (p.nstk < 1 || p.ndip < 1) finding("a plane without subfaults");
  if (!(p.dip > 0 && p.dip <= 90) || !(p.strike >= 0 && p.strike < 360)) finding("an orientation out of range");
  if (std::fabs(p.hypo_along_stk) > p.length / 2 || p.hypo_down_dip < 0 || p.hypo_down_dip > p.width)
    finding("a hypocentre off the plane");
  if (!(d.rupture_velocity > 0 && d.vs > 0 && d.density > 0)) finding("a velocity or density not above 0");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (enter_scratch_directory(files), true);
  (void)ready;
  write_description(data, size);
  std::vector<std::string> warnings;
  Description d;
  try {
    d = read_description("f.toml", warnings);
    if (d.scenario) apply_regions(derive_regions(d), d);
  } catch (const Refusal& r) {
    if (std::string(r.what()).rfind("f.toml", 0) != 0) finding("a refusal that does not name the file", r.what());
    return 0;
  }
  expect_plane(d);
  PulseGrid grid(d.pulse.ts);
  static SubfaultPulse pulse;
  try {
    compute_pulse(grid, d.pulse, 1, 1, pulse);
  } catch (const Refusal&) {
    return 0;
  }
  if (pulse.nt1 < 0 || pulse.nt1 > grid.samples()) finding("a sample count beyond the grid");
  return 0;
}
