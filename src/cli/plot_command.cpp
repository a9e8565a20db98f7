#include "cli/plot_command.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sys/atomic_file.h"
#include "sys/child_process.h"
#include "sys/end_signal.h"
#include "pictures/plot_facts.h"
#include "pictures/plot_map.h"
#include "cli/plot_options.h"
#include "pictures/plot_program.h"
#include "sys/refusal.h"
#include "sys/standard_streams.h"
#include "sys/text_format.h"

namespace {

const char* gnuplot_package = "Debian package gnuplot-nox";

// A helper that exits cleanly but leaves an empty image has failed too.
void expect_written(const AtomicFile& file, const char* by) {
  if (file.size() <= 0) throw Refusal(std::string(by) + " wrote nothing to " + file.target(), status_failed);
}

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

int fault_plot_command(int argc, char** argv) {
  PlotOptions o = parse_plot_options(argc, argv);
  if (o.help) return 0;
  require_program("gnuplot", gnuplot_package);
  if (o.map) require_program("gmt", gmt_packages);
  std::vector<std::string> warnings;
  FaultFacts facts = gather_facts(o.srf, &warnings);
  for (const std::string& w : warnings) std::fprintf(stderr, "slipvel-fault: %s\n", w.c_str());
  check_end_signal();

  // Every image is written under a temporary name; all are renamed only when
  // all are complete.
  std::vector<std::unique_ptr<AtomicFile>> images;
  auto image = [&](const std::string& suffix) -> AtomicFile& {
    images.push_back(std::make_unique<AtomicFile>(o.prefix + suffix));
    images.back()->close_stream();
    return *images.back();
  };
  AtomicFile& png = image(".png");
  AtomicFile& svg = image(".svg");
  {
    ChildProcess gnuplot({{"gnuplot"}, gnuplot_package, "", {}});
    write_gnuplot_program(facts, {base_name(o.srf), png.temp_path(), svg.temp_path()}, gnuplot);
    gnuplot.finish();
  }
  check_end_signal();
  expect_written(png, "gnuplot");
  expect_written(svg, "gnuplot");
  if (o.map) {
    AtomicFile& map_png = image("-map.png");
    AtomicFile& map_pdf = image("-map.pdf");
    draw_map(facts, base_name(o.srf), map_png, map_pdf);
    expect_written(map_png, "GMT");
    expect_written(map_pdf, "GMT");
  }
  check_end_signal();
  for (auto& file : images) file->commit();
  std::string written;
  for (auto& file : images) appendf(written, "%s (%lld bytes)\n", file->target().c_str(), file->size());
  print_out(written);
  return 0;
}
