// slipvel-fault: the slip-velocity pulse of every subfault of a fault plane,
// written as a kinematic source file (SRF) for wave-propagation codes; also
// reads and draws any SRF file.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "cli/command_line.h"
#include "cli/info_command.h"
#include "cli/plot_command.h"
#include "cli/run_command.h"
#include "sys/end_signal.h"
#include "sys/refusal.h"
#include "sys/standard_streams.h"

namespace {

// The main usage: the commands, `run` by default.
int print_main_usage() {
  return print_usage({std::string(run_synopsis) +
                          "\n       slipvel-fault run [options] DESCRIPTION.toml"
                          "\n       slipvel-fault info FILE.srf"
                          "\n       slipvel-fault plot [--map] [-o PREFIX] FILE.srf",
                      "Commands:\n"
                      "  run    (the default) a fault description to an SRF file\n"
                      "  info   the facts of an SRF file\n"
                      "  plot   an SRF file drawn (gnuplot; with --map also GMT)\n"
                      "Each command's options: slipvel-fault COMMAND --help.\n"});
}

int dispatch(int argc, char** argv) {
  std::string word = argc >= 2 ? argv[1] : "";
  if (word == "info") return srf_info_command(argc - 1, argv + 1);
  if (word == "plot") return fault_plot_command(argc - 1, argv + 1);
  if (word == "run") return fault_run_command(argc - 1, argv + 1);
  if (word == "-h" || word == "--help") return print_main_usage();
  return fault_run_command(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_streams();
  install_end_signals();
  try {
    return dispatch(argc, argv);
  } catch (const EndSignal& e) {
    // Every writer's temporary is gone by now (their destructors ran).
    end_process_by(e.signal);
  } catch (const Refusal& r) {
    std::fprintf(stderr, "slipvel-fault: %s\n", r.what());
    return r.status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "slipvel-fault: %s\n", e.what());
    return status_failed;
  }
}
