// Input of a channel, read ahead a buffer at a time.
#include "records/read_ahead.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "records/channel_table.h"
#include "records/end_signal.h"

namespace {

Failure failed(int err, const char* context) { return {err, context}; }

// Refills the read-ahead; false at the end of input or on a failure. A
// stream that may wait (a pipe, FIFO, terminal or socket) is waited for in
// wait_ready, which an end signal always ends; once it is readable the read
// returns at once (should another process take the bytes first, the read
// waits, and a signal still ends it with EINTR).
bool fill(Channel& ch) {
  if (ch.eof) return false;
  ch.failure = allocate(ch.in);
  if (ch.failure) return false;
  for (;;) {
    if (!ch.regular && wait_ready(ch.fd, POLLIN, -1, true) == Woken::signalled) {
      ch.failure = failed(err_end_signal, "list in");
      return false;
    }
    ssize_t n = read(ch.fd, ch.in, buffer_size);
    if (n > 0) {
      ch.in_pos = 0;
      ch.in_len = static_cast<int>(n);
      return true;
    }
    if (n == 0) {
      ch.eof = true;
      return false;
    }
    if (errno != EINTR) {
      ch.failure = failed(errno, "list in");
      return false;
    }
  }
}

}  // namespace

int next_char(int unit) {
  Channel& ch = channel(unit);
  if (ch.back != -2) {
    int c = ch.back;
    ch.back = -2;
    return c;
  }
  if (ch.in_pos == ch.in_len && !fill(ch)) return ch.failure ? read_failed : -1;
  int c = static_cast<unsigned char>(ch.in[ch.in_pos++]);
  // A line end stored as carriage return and line feed reads as one.
  if (c == '\r' && (ch.in_pos < ch.in_len || fill(ch)) && ch.in[ch.in_pos] == '\n') {
    ch.in_pos++;
    return '\n';
  }
  if (ch.failure) return read_failed;
  return c;
}

void put_back(int unit, int c) { channel(unit).back = c; }
