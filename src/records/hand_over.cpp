// The hand-over of buffered records to the system. The main line waits for
// a reader as long as it takes, an end signal ending the wait; the early
// ends hand over what the readers take within a patience.
#include "records/hand_over.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "records/channel_table.h"
#include "records/end_signal.h"

namespace {

// How far a hand-over may wait for a reader that takes nothing: for ever
// but not past an end signal (the main line), or until a moment whatever
// comes (an early end, whose first cause stands).
struct Patience {
  long long until_ms = -1;  // -1: for ever

  static long long now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
  }
  static Patience of(int ms) { return {now_ms() + ms}; }
  bool main_line() const { return until_ms < 0; }
  int left_ms() const {
    return main_line() ? -1 : static_cast<int>(std::max(0LL, until_ms - now_ms()));
  }
};

Failure failed(int err, const char* context) { return {err, context}; }

// Writes everything to a descriptor that never waits for a reader (a
// regular file); returns the bytes written, err set on a short write.
size_t write_all(int fd, const char* p, size_t n, int& err) {
  size_t done = 0;
  while (done < n) {
    ssize_t k = write(fd, p + done, n - done);
    if (k > 0) {
      done += k;
    } else if (k < 0 && errno == EINTR) {
      continue;
    } else {
      err = k < 0 ? errno : EIO;
      break;
    }
  }
  return done;
}

// Where a pipe, FIFO, socket or console takes what it can.
struct Sink {
  int fd;         // the descriptor as the process holds it
  int nowait_fd;  // a second description of it that never waits, or -1
  bool socket, pipe;
  // Whether a write can be made that never waits.
  bool nowait() const { return nowait_fd >= 0 || socket || pipe; }
};

// A descriptor not open for writing (the read end of a pipe, a closed
// stream held by /dev/null) is written plainly, which fails at once (EBADF).
Sink sink(const Channel& ch) {
  if (!ch.write_end) return {ch.fd, -1, false, false};
  return {ch.fd, ch.nowait_fd, ch.socket, ch.pipe};
}

// Writes at most what the sink takes; -1 with EAGAIN when it takes nothing
// now.
ssize_t write_now(const Sink& s, const char* p, size_t n) {
  if (s.nowait_fd >= 0) return write(s.nowait_fd, p, n);
  // Safe: MSG_DONTWAIT makes this one send never wait, whatever the
  // socket's mode; a socket may take part of a record.
  if (s.socket) return send(s.fd, p, n, MSG_DONTWAIT | MSG_NOSIGNAL);
  if (s.pipe) {
    // A pipe that could not be opened a second time. Safe: POLLOUT means a
    // free page, and a write of at most PIPE_BUF bytes fills it whole
    // without waiting.
    pollfd room = {s.fd, POLLOUT, 0};
    if (poll(&room, 1, 0) != 1) {
      errno = EAGAIN;
      return -1;
    }
    return write(s.fd, p, std::min<size_t>(n, PIPE_BUF));
  }
  // A console without a second description: a write that may wait. Only
  // the main line comes here; the end signals are open and restart no
  // call, so one that comes ends the wait (EINTR, or the part written).
  return write(s.fd, p, n);
}

// The length of p[0, n) up to and including its last line end; 0 if none.
size_t whole_lines(const char* p, size_t n) {
  while (n > 0 && p[n - 1] != '\n') n--;
  return n;
}

// Whole records of out[from, to) that make at most PIPE_BUF bytes: a pipe
// takes them whole or not at all, so that a reader who stops reading is
// left no partial record. (A socket or console may take part of them.)
size_t whole_records(const char* out, size_t from, size_t to) {
  size_t n = std::min<size_t>(to - from, PIPE_BUF);
  if (from + n == to) return n;
  size_t whole = whole_lines(out + from, n);
  return whole > 0 ? whole : n;
}

// A regular file takes everything at once; on a short write it is cut back
// to the last line end written, so no partial record stays. SIGKILL is the
// one end that no code of the run sees: killed inside a write, the system
// keeps what the write had copied, a whole number of pages of the file, so
// the file may then end inside a record, at a multiple of the page size.
Failure hand_to_file(Channel& ch) {
  int err = 0;
  size_t from = ch.out_done, to = ch.out_len;
  size_t done = write_all(ch.fd, ch.out + from, to - from, err);
  if (done == to - from) return {};
  off_t good = lseek(ch.fd, 0, SEEK_CUR) -
               static_cast<off_t>(done - whole_lines(ch.out + from, done));
  if (ftruncate(ch.fd, good) == 0) lseek(ch.fd, good, SEEK_SET);
  return failed(err, "write");
}

// Hands the complete records over, waiting for the reader as `patience`
// allows: a reader that takes nothing within it is given up.
Failure hand_over(Channel& ch, const Patience& patience) {
  if (ch.regular) {
    Failure f = ch.out_done < ch.out_len ? hand_to_file(ch) : Failure{};
    ch.out_done = ch.out_len = 0;
    return f;
  }
  Sink s = sink(ch);
  // An early end never waits inside a write: without a way to write that
  // never waits, the reader is given up at once.
  if (!patience.main_line() && !s.nowait()) return {};
  while (ch.out_done < ch.out_len) {
    // A signal noted after a write that took part of the buffer ends the
    // main line's hand-over before a write that could wait again.
    if (patience.main_line() && end_signal()) return failed(err_end_signal, "write");
    ssize_t k = write_now(s, ch.out + ch.out_done, whole_records(ch.out, ch.out_done, ch.out_len));
    if (k > 0) {
      ch.out_done += k;
      continue;
    }
    int err = k < 0 ? errno : EIO;
    if (err != EAGAIN && err != EWOULDBLOCK && err != EINTR) {
      ch.out_done = ch.out_len;  // the rest is lost with the failure
      return failed(err, "write");
    }
    if (err == EINTR) continue;  // the loop's first line looks at the note
    Woken w = wait_ready(ch.fd, POLLOUT, patience.left_ms(), patience.main_line());
    if (w == Woken::signalled) return failed(err_end_signal, "write");
    if (w == Woken::late) return {};  // the reader stalled: give up
  }
  ch.out_done = ch.out_len = 0;
  return {};
}

}  // namespace

Failure flush_channel(int unit) {
  Channel& ch = channel(unit);
  return ch.out ? hand_over(ch, Patience{}) : Failure{};
}

Failure hand_record(int unit, const char* text, size_t len) {
  Channel& ch = channel(unit);
  if (Failure f = allocate(ch.out)) return f;
  // No statement makes a record of more than a few hundred characters.
  if (len + 1 > buffer_size) return failed(err_no_space, "record longer than its buffer");
  if (ch.out_len + len + 1 > buffer_size)
    if (Failure f = flush_channel(unit)) return f;
  std::memcpy(ch.out + ch.out_len, text, len);
  ch.out[ch.out_len + len] = '\n';
  ch.out_len += len + 1;
  if (ch.each_record) return flush_channel(unit);
  return {};
}

void rescue_all_channels(int patience_ms) {
  Patience p = Patience::of(patience_ms);
  // Console first, so every record written before the end reaches its reader.
  static const int order[] = {unit_output, unit_error};
  for (int unit : order)
    if (channel(unit).connected && channel(unit).out) hand_over(channel(unit), p);
  for (int unit = 0; unit < channel_count; unit++) {
    Channel& ch = channel(unit);
    if (ch.connected && ch.writing && !ch.name.empty() && ch.out) hand_over(ch, p);
  }
}

namespace {

// Standard error that cannot be opened a second time (another user's
// terminal, no /proc) is written on descriptor 2 itself, so that a report
// is never lost where a write could succeed. Bounded: a write is made only
// when poll finds the terminal writable (fewer than 256 characters wait in
// its output, the line discipline's wake-up mark) and hands it at most 256
// characters, which a terminal that moves its output takes at once; one
// stopped with Ctrl-S stops being writable and is given up at the patience.
void say_on_terminal(const char* text, size_t len, const Patience& p) {
  constexpr size_t terminal_room = 256;
  for (size_t done = 0; done < len;) {
    pollfd room = {STDERR_FILENO, POLLOUT, 0};
    int n = poll(&room, 1, p.left_ms());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !(room.revents & POLLOUT)) return;  // late, or not writable at all
    ssize_t k = write(STDERR_FILENO, text + done, std::min(len - done, terminal_room));
    if (k > 0)
      done += k;
    else if (k == 0 || (errno != EAGAIN && errno != EINTR))
      return;
  }
}

}  // namespace

void say_error(const char* text, size_t len, int patience_ms) {
  struct stat st;
  int err = 0;
  int mode = fcntl(STDERR_FILENO, F_GETFL);
  // Not open for writing (a closed stream held by /dev/null): dropped.
  if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) return;
  if (fstat(STDERR_FILENO, &st) != 0 || S_ISREG(st.st_mode)) {
    write_all(STDERR_FILENO, text, len, err);
    return;
  }
  // Opened afresh: standard error is whatever descriptor 2 is now.
  Sink s = {STDERR_FILENO, S_ISSOCK(st.st_mode) ? -1 : open_nowait(STDERR_FILENO),
            S_ISSOCK(st.st_mode), S_ISFIFO(st.st_mode)};
  Patience p = Patience::of(patience_ms);
  if (!s.nowait()) return say_on_terminal(text, len, p);
  for (size_t done = 0; done < len;) {
    ssize_t k = write_now(s, text + done, len - done);
    if (k > 0) {
      done += k;
    } else if (k == 0 || (errno != EAGAIN && errno != EINTR) ||
               wait_ready(s.fd, POLLOUT, p.left_ms(), false) == Woken::late) {
      break;
    }
  }
  if (s.nowait_fd >= 0) close(s.nowait_fd);
}
