#include "sys/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "sys/refusal.h"

void hold_standard_streams() {
  // /dev/null opened the wrong way round: reading standard input or writing
  // standard output or error then fails with EBADF, as on the closed stream.
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    int held = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (held >= 0 && held != fd) close(held);  // lowest free is fd; anything else is not ours to keep
  }
  // Safe: an ignored SIGPIPE runs no code; child programs get its default
  // back when they start (ChildProcess).
  std::signal(SIGPIPE, SIG_IGN);
}

void print_out(const std::string& text) {
  // fwrite and fflush set errno on the first failure; a stream already in
  // error has said so before.
  errno = 0;
  bool bad = std::fwrite(text.data(), 1, text.size(), stdout) != text.size();
  bad = std::fflush(stdout) != 0 || bad || std::ferror(stdout);
  if (bad) {
    int err = errno ? errno : EIO;
    std::clearerr(stdout);
    throw Refusal(std::string("standard output: write failed: ") + std::strerror(err), status_failed);
  }
}
