#include "cli/plot_options.h"

#include "cli/command_line.h"

namespace {

const Usage usage = {
    "usage: slipvel-fault plot [--map] [-o PREFIX] FILE.srf",
    "Draws any SRF file as PREFIX.png and PREFIX.svg (gnuplot): slip, peak slip rate and slip\n"
    "duration on the fault plane, rupture-time contours and the slip-rate functions of telling\n"
    "subfaults.\n"
    "  --map      also a map of the surface projection, PREFIX-map.png and PREFIX-map.pdf (GMT)\n"
    "  -o PREFIX  the images' names (default: the file's name without its folder and .srf)\n"};

// The file's name without its folder and without ".srf": the images go to
// the current folder, since an SRF file's own folder may well be read-only.
std::string default_prefix(const std::string& srf) {
  std::string name = srf.substr(srf.rfind('/') + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".srf") == 0) name.resize(name.size() - 4);
  return name;
}

}  // namespace

PlotOptions parse_plot_options(int argc, char** argv) {
  CommandLine line = parse_command_line(argc, argv, {{"--map"}, {"-o", "a PREFIX"}}, usage);
  PlotOptions o;
  if (line.help) {
    o.help = print_usage(usage) == 0;
    return o;
  }
  bool have_prefix = false;
  for (const auto& [name, value] : line.options) {
    if (name == "--map") o.map = true;
    if (name == "-o") {
      if (value.empty()) refuse_command_line("-o needs a PREFIX", usage);
      o.prefix = value;
      have_prefix = true;
    }
  }
  if (line.operands.empty()) refuse_command_line("no SRF file given", usage);
  if (line.operands.size() > 1) refuse_command_line("one SRF file at a time: " + line.operands[1], usage);
  o.srf = line.operands[0];
  if (!have_prefix) o.prefix = default_prefix(o.srf);
  if (o.prefix.empty()) refuse_command_line("no name for the images: give -o PREFIX", usage);
  return o;
}
