// Fuzz target: arbitrary bytes as an SRF file. Every text must be read
// whole or refused with one line naming the file; a point handed over must
// hold finite values and no more samples than the reader's cap.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>

#include "sys/refusal.h"
#include "srf/srf_file.h"
#include "fuzz_support.h"

namespace {

const char* const files[] = {"f.srf", nullptr};

struct Check : SrfVisitor {
  void point(const SrfPoint& p) override {
    for (double x : {p.lon, p.lat, p.dep, p.stk, p.dip, p.area, p.tinit, p.dt, p.rake, p.slip1, p.slip2, p.slip3})
      if (!std::isfinite(x)) finding("a point with a value that is not finite");
    for (const auto* run : {&p.sr1, &p.sr2, &p.sr3})
      for (double x : *run)
        if (!std::isfinite(x)) finding("a sample that is not finite");
    if (p.line < 1) finding("a point without its line");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (enter_scratch_directory(files), true);
  (void)ready;
  int fd = open("f.srf", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size) || close(fd) != 0) finding("cannot write f.srf");
  Check check;
  std::vector<std::string> warnings;
  try {
    read_srf("f.srf", check, &warnings);
  } catch (const Refusal& r) {
    if (std::string(r.what()).rfind("f.srf:", 0) != 0) finding("a refusal that does not name the file", r.what());
  }
  return 0;
}
