#include "cli/plot_options.h"

#include <string_view>

#include "sys/refusal.h"

namespace {

const char* usage = "usage: slipvel-fault plot [--map] [-o PREFIX] FILE.srf";

[[noreturn]] void refuse(const std::string& why) { throw Refusal(why + "\n" + usage); }

// The file's name without its folder and without ".srf": the images go to
// the current folder, since an SRF file's own folder may well be read-only.
std::string default_prefix(const std::string& srf) {
  std::string name = srf.substr(srf.rfind('/') + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".srf") == 0) name.resize(name.size() - 4);
  return name;
}

}  // namespace

PlotOptions parse_plot_options(int argc, char** argv) {
  PlotOptions o;
  bool have_prefix = false, options_end = false;
  for (int k = 1; k < argc; k++) {
    std::string_view a = argv[k];
    if (!options_end && a == "--") {
      options_end = true;
    } else if (!options_end && a == "--map") {
      o.map = true;
    } else if (!options_end && a == "-o") {
      if (k + 1 >= argc) refuse("-o needs a PREFIX");
      o.prefix = argv[++k];
      if (o.prefix.empty()) refuse("-o needs a PREFIX");
      have_prefix = true;
    } else if (!options_end && a.size() > 1 && a[0] == '-') {
      refuse("unknown option " + std::string(a));
    } else if (o.srf.empty()) {
      o.srf = a;
    } else {
      refuse("one SRF file at a time: " + std::string(a));
    }
  }
  if (o.srf.empty()) refuse("no SRF file given");
  if (!have_prefix) o.prefix = default_prefix(o.srf);
  if (o.prefix.empty()) refuse("no name for the images: give -o PREFIX");
  return o;
}
