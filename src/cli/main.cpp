// slipvel-fault: the slip-velocity pulse of every subfault of a fault plane,
// written as a kinematic source file (SRF) for wave-propagation codes; also
// reads and draws any SRF file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>

#include "sys/end_signal.h"
#include "cli/plot_command.h"
#include "fault/fault_run.h"
#include "sys/refusal.h"
#include "cli/info_command.h"

namespace {

// A closed standard descriptor is taken by /dev/null before any file is
// opened, so that no file of the run becomes standard output or error.
void hold_standard_descriptors() {
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) close(null);  // lowest free is fd; anything else is not ours to keep
  }
}

int dispatch(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "info") == 0) return srf_info_command(argc - 1, argv + 1);
  if (argc >= 2 && std::strcmp(argv[1], "plot") == 0) return fault_plot_command(argc - 1, argv + 1);
  return fault_run_command(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_descriptors();
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
