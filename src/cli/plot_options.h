#pragma once
// The command line of `slipvel-fault plot [--map] [-o PREFIX] FILE.srf`.
#include <string>

struct PlotOptions {
  std::string srf;     // the file drawn
  std::string prefix;  // images PREFIX.png, PREFIX.svg (and PREFIX-map.png, PREFIX-map.pdf)
  bool map = false;
  bool help = false;   // --help: the usage was printed, nothing else to do
};

// argv[0] is the command word; a wrong command line is refused (status 2)
// with the usage line; --help prints the usage and sets `help`.
PlotOptions parse_plot_options(int argc, char** argv);
