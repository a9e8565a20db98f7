// The channel table: the three console channels and the single file channel,
// buffered record output that a signal can always end at a record boundary.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "records/channel_table.h"

namespace {

constexpr int buffer_size = 1 << 16;
Channel table[channel_count];

// The signals whose handlers hand the buffers over (all four that end the
// run). They are held off only across a write that cannot wait, never
// across a wait; nothing held here can raise a floating-point exception.
class HoldEndSignals {
 public:
  HoldEndSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGFPE, SIGABRT}) sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~HoldEndSignals() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

// A bound on waiting for a reader: for ever, or until a moment.
struct Deadline {
  long long at_ms = -1;  // -1: for ever

  static long long now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);  // async-signal-safe
    return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
  }
  static Deadline in(int ms) { return {now_ms() + ms}; }
  int left_ms() const {
    return at_ms < 0 ? -1 : static_cast<int>(std::max(0LL, at_ms - now_ms()));
  }
};

Fault failed(int err, const char* context) { return {err, context}; }

Fault allocate(char*& buf) {
  if (!buf && !(buf = static_cast<char*>(std::malloc(buffer_size))))
    return failed(err_no_space, "malloc failure");
  return {};
}

// Writes what it can to a descriptor that never waits for a reader; returns
// the bytes written, err set on a short write.
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

// Where a pipe, FIFO, socket or console takes what it can at once.
struct Sink {
  int fd;         // the descriptor as the process holds it
  int nowait_fd;  // a second description of it that never waits, or -1
  bool socket;
};

Sink sink(const Channel& ch) { return {ch.fd, ch.nowait_fd, ch.socket}; }

// Writes at most what the sink takes at once; -1 with EAGAIN when it takes
// nothing now.
ssize_t write_now(const Sink& s, const char* p, size_t n) {
  if (s.nowait_fd >= 0) return write(s.nowait_fd, p, n);
  if (s.socket) return send(s.fd, p, n, MSG_DONTWAIT | MSG_NOSIGNAL);
  // A pipe that could not be opened a second time: once poll finds room, a
  // write of at most PIPE_BUF bytes is whole or nothing and does not wait.
  pollfd room = {s.fd, POLLOUT, 0};
  if (poll(&room, 1, 0) != 1) {
    errno = EAGAIN;
    return -1;
  }
  return write(s.fd, p, std::min<size_t>(n, PIPE_BUF));
}

// The length of p[0, n) up to and including its last line end; 0 if none.
size_t whole_lines(const char* p, size_t n) {
  while (n > 0 && p[n - 1] != '\n') n--;
  return n;
}

// Whole records of out[from, to) that make at most PIPE_BUF bytes, so that a
// reader who stops reading is left no partial record (a longer record goes
// in pieces).
size_t whole_records(const char* out, size_t from, size_t to) {
  size_t n = std::min<size_t>(to - from, PIPE_BUF);
  if (from + n == to) return n;
  size_t whole = whole_lines(out + from, n);
  return whole > 0 ? whole : n;
}

// Waits until the descriptor takes data or the deadline passes.
bool room_before(int fd, const Deadline& d) {
  pollfd room = {fd, POLLOUT, 0};
  int left = d.left_ms();
  if (left == 0) return false;
  int n = poll(&room, 1, left);
  return n == 1 || (n < 0 && errno == EINTR);
}

// One step of the hand-over: one write that cannot wait, with out_done
// moved before a handler can look. 0 when the descriptor takes nothing now.
ssize_t hand_step(Channel& ch, int& err) {
  HoldEndSignals hold;  // safe: nothing below waits for a reader
  size_t from = ch.out_done, to = ch.out_len;
  if (ch.regular) {
    size_t done = write_all(ch.fd, ch.out + from, to - from, err);
    if (done < to - from) {
      // Cut back to the last line end written: no partial record stays.
      off_t good = lseek(ch.fd, 0, SEEK_CUR) -
                   static_cast<off_t>(done - whole_lines(ch.out + from, done));
      if (ftruncate(ch.fd, good) == 0) lseek(ch.fd, good, SEEK_SET);
      ch.out_done = ch.out_len;  // the rest is lost with the failure
      return -1;
    }
    ch.out_done = to;
    return done;
  }
  ssize_t k = write_now(sink(ch), ch.out + from, whole_records(ch.out, from, to));
  if (k > 0) {
    ch.out_done = from + k;
    return k;
  }
  err = k < 0 ? errno : EIO;
  if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) return 0;
  ch.out_done = ch.out_len;  // the rest is lost with the failure
  return -1;
}

// Hands the complete records over, waiting for the reader until `d`.
// Async-signal-safe; errno-like err set when it returns false.
bool hand_over(Channel& ch, const Deadline& d, int& err) {
  while (ch.out_done < ch.out_len) {
    ssize_t k = hand_step(ch, err);
    if (k < 0) return false;
    if (k == 0 && !room_before(ch.fd, d)) return true;  // the reader stalled: give up
  }
  HoldEndSignals hold;
  ch.out_done = 0;
  ch.out_len = 0;
  return true;
}

// A pipe, FIFO or console is written through a second description of its
// own that never waits, so that no other holder of it sees a changed mode.
// Only a descriptor open for writing is opened again for writing: reopening
// the read end of a pipe, or a held closed stream (start_run), would give
// the run a way out that it was not given. The path is built by hand: a
// signal handler may call this.
int open_nowait(int fd) {
  int mode = fcntl(fd, F_GETFL);
  if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) return -1;
  char path[32] = "/proc/self/fd/";
  char digits[12];
  int n = 0;
  do digits[n++] = static_cast<char>('0' + fd % 10); while ((fd /= 10) > 0);
  char* p = path + std::strlen(path);
  while (n > 0) *p++ = digits[--n];
  *p = '\0';
  return open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

void open_nowait(Channel& ch) {
  if (!ch.regular && !ch.socket && ch.nowait_fd < 0) ch.nowait_fd = open_nowait(ch.fd);
}

void describe(Channel& ch) {
  struct stat st;
  bool known = fstat(ch.fd, &st) == 0;
  ch.regular = known && S_ISREG(st.st_mode);
  ch.socket = known && S_ISSOCK(st.st_mode);
  ch.seekable = lseek(ch.fd, 0, SEEK_CUR) >= 0;
  ch.each_record = isatty(ch.fd);
}

void forget(Channel& ch) {
  if (ch.nowait_fd >= 0) close(ch.nowait_fd);
  ch.nowait_fd = -1;
  ch.connected = false;
  ch.fd = -1;
  ch.name.clear();
  ch.at_end = ch.writing = ch.eof = false;
  ch.in_pos = ch.in_len = 0;
  ch.back = -2;
  ch.fault = {};
  ch.out_done = 0;
  ch.out_len = 0;
}

void connect(int unit, int fd, bool writing) {
  Channel& ch = table[unit];
  forget(ch);
  ch.connected = true;
  ch.fd = fd;
  ch.writable = ch.writing = writing;
  describe(ch);
  // Standard error is opened afresh by each message (say_error).
  if (writing && unit != unit_error) open_nowait(ch);
}

}  // namespace

Channel& channel(int unit) { return table[unit]; }

void connect_standard_channels() {
  connect(unit_error, STDERR_FILENO, true);
  connect(unit_input, STDIN_FILENO, false);
  connect(unit_output, STDOUT_FILENO, true);
}

Fault open_channel(const char* name, const char* status) {
  Channel& ch = table[unit_file];
  // 1. The name without trailing blanks; stored first so a report names it.
  std::string file(name);
  while (!file.empty() && file.back() == ' ') file.pop_back();
  forget(ch);
  ch.name = file;
  // 2. An "old" file must exist already.
  struct stat st;
  if (std::strcmp(status, "old") == 0 && stat(file.c_str(), &st) != 0)
    return failed(errno, "open");
  // 3. Update, else read only, else create it empty for writing.
  ch.writable = true;
  int fd = open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    ch.writable = false;
    fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    ch.writable = true;
    fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  }
  if (fd < 0) return failed(errno, "open");
  ch.connected = true;
  ch.fd = fd;
  describe(ch);
  return {};
}

Fault close_channel(int unit) {
  Channel& ch = table[unit];
  if (!ch.connected) return {};
  // The file was cut where writing started, so it ends after its last record.
  if (ch.writing)
    if (Fault f = flush_channel(unit)) return f;
  if (!ch.name.empty() && close(ch.fd) != 0) {
    int err = errno;
    forget(ch);
    return failed(err, "close");
  }
  forget(ch);
  return {};
}

Fault start_writing(int unit, const char* context) {
  Channel& ch = table[unit];
  if (ch.writing) return {};
  if (!ch.connected) return failed(err_cant_write, context);
  // Writing goes on where reading stopped, not where the read-ahead stopped.
  off_t unread = ch.in_len - ch.in_pos + (ch.back >= 0 ? 1 : 0);
  off_t pos = ch.seekable ? lseek(ch.fd, -unread, SEEK_CUR) : 0;
  if (!ch.writable) {
    int fd = ch.name.empty() ? -1 : open(ch.name.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return failed(err_cant_write, context);
    if (ch.seekable) lseek(fd, pos, SEEK_SET);
    close(ch.fd);
    ch.fd = fd;
    ch.writable = true;
  }
  // An older file ends where this run's records begin, so that at every
  // moment, a kill included, the file holds only this run's whole records.
  if (ch.regular && ftruncate(ch.fd, pos) != 0) return failed(err_truncation, "endfile");
  open_nowait(ch);
  ch.in_pos = ch.in_len = 0;
  ch.back = -2;
  ch.writing = true;
  return {};
}

Fault flush_channel(int unit) {
  Channel& ch = table[unit];
  int err = 0;
  if (!ch.out || hand_over(ch, Deadline{}, err)) return {};
  return failed(err, "write");
}

Fault hand_record(int unit, const char* text, size_t len) {
  Channel& ch = table[unit];
  if (Fault f = allocate(ch.out)) return f;
  if (ch.out_len + len + 1 > buffer_size)
    if (Fault f = flush_channel(unit)) return f;
  if (len + 1 > buffer_size) {
    // A record longer than the buffer goes out whole, then its line end; a
    // signal meanwhile may leave part of it with a pipe's reader.
    off_t start = ch.regular ? lseek(ch.fd, 0, SEEK_CUR) : -1;
    int err = 0;
    bool ok = write_all(ch.fd, text, len, err) == len && write_all(ch.fd, "\n", 1, err) == 1;
    if (!ok && start >= 0 && ftruncate(ch.fd, start) == 0) lseek(ch.fd, start, SEEK_SET);
    return ok ? Fault{} : failed(err, "write");
  }
  std::memcpy(ch.out + ch.out_len, text, len);
  ch.out[ch.out_len + len] = '\n';
  // The record is complete in the buffer before a handler can see its length.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  ch.out_len = static_cast<int>(ch.out_len + len + 1);
  if (ch.each_record) return flush_channel(unit);
  return {};
}

namespace {

// Refills the read-ahead; false at the end of input or on a failure.
bool fill(Channel& ch) {
  if (ch.eof) return false;
  ch.fault = allocate(ch.in);
  if (ch.fault) return false;
  for (;;) {
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
      ch.fault = failed(errno, "list in");
      return false;
    }
  }
}

}  // namespace

int next_char(int unit) {
  Channel& ch = table[unit];
  if (ch.back != -2) {
    int c = ch.back;
    ch.back = -2;
    return c;
  }
  if (ch.in_pos == ch.in_len && !fill(ch)) return ch.fault ? read_failed : -1;
  int c = static_cast<unsigned char>(ch.in[ch.in_pos++]);
  // A line end stored as carriage return and line feed reads as one.
  if (c == '\r' && (ch.in_pos < ch.in_len || fill(ch)) && ch.in[ch.in_pos] == '\n') {
    ch.in_pos++;
    return '\n';
  }
  if (ch.fault) return read_failed;
  return c;
}

void unread_char(int unit, int c) { table[unit].back = c; }

void rescue_all_channels(int patience_ms) {
  Deadline d = Deadline::in(patience_ms);
  int err = 0;
  // Console first, so every record written before the end reaches its reader.
  static const int order[] = {unit_output, unit_error};
  for (int unit : order)
    if (table[unit].connected && table[unit].out) hand_over(table[unit], d, err);
  for (int unit = 0; unit < channel_count; unit++) {
    Channel& ch = table[unit];
    if (ch.connected && ch.writing && !ch.name.empty() && ch.out) hand_over(ch, d, err);
  }
}

void say_error(const char* text, size_t len, int patience_ms) {
  struct stat st;
  int err = 0;
  if (fstat(STDERR_FILENO, &st) != 0 || S_ISREG(st.st_mode)) {
    write_all(STDERR_FILENO, text, len, err);
    return;
  }
  // Opened afresh: standard error is whatever descriptor 2 is now.
  Sink s = {STDERR_FILENO, S_ISSOCK(st.st_mode) ? -1 : open_nowait(STDERR_FILENO),
            S_ISSOCK(st.st_mode)};
  Deadline d = Deadline::in(patience_ms);
  for (size_t done = 0; done < len;) {
    ssize_t k = write_now(s, text + done, len - done);
    if (k > 0) {
      done += k;
    } else if (k == 0 || (errno != EAGAIN && errno != EINTR) || !room_before(s.fd, d)) {
      break;
    }
  }
  if (s.nowait_fd >= 0) close(s.nowait_fd);
}
