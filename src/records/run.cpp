// Start of the run and its ends after the dialogue: complete, or stopped
// by a search that cannot end.
#include "records/run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "records/channel.h"
#include "records/channel_table.h"
#include "records/end_signal.h"
#include "records/hand_over.h"

namespace {

// A standard stream closed by whoever started the run is held by /dev/null
// opened against its direction, before any file is opened: no file of the
// run can take its number, and every transfer on it fails as on a closed
// descriptor (EBADF): standard input and output fail with their report,
// and what goes to a closed standard error is dropped.
void hold_closed_standard_streams() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
      // The lowest free number is taken, and the lower ones are open by now.
      open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
}

}  // namespace

void start_run() {
  hold_closed_standard_streams();
  // Nothing traps: a division by zero gives an infinity, an invalid
  // operation a NaN, and both flow on into the files.
  std::fesetround(FE_TONEAREST);
  fedisableexcept(FE_ALL_EXCEPT);
  std::feclearexcept(FE_ALL_EXCEPT);

  take_end_signals();
  // A closed pipe on standard output is a failed write, reported as such;
  // so is a write past the file-size limit (EFBIG), which would otherwise
  // kill the run by SIGXFSZ inside a record.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);

  connect_standard_channels();
  std::atexit(close_all_channels);
}

void stop_run() {
  // The last records reach their files and readers first, so that a signal
  // noted up to here ends the run by its message and status whatever
  // standard output is (a pipe's wait sees it, a file's write does not).
  close_all_channels();
  end_if_signalled();
  std::exit(0);
}

void quit_run(int status, const char* line) {
  end_if_signalled();
  close_all_channels();
  end_if_signalled();
  say_error(line, std::strlen(line), report_patience_ms);
  say_error("\n", 1, report_patience_ms);
  std::exit(status);
}
