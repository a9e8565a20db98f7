// The channel table: the three console channels and the single file channel,
// buffered record output that a signal can always cut at a record boundary.
#include "records/channel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "records/channel_table.h"

namespace {

constexpr int buffer_size = 1 << 16;
Channel table[channel_count];

// The signals that end the run through their handlers. They are held off
// while a buffer is handed over, so a handler never writes it twice.
sigset_t end_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

char* allocate(char*& buf) {
  if (!buf && !(buf = static_cast<char*>(std::malloc(buffer_size))))
    fail_run(err_no_space, "malloc failure");
  return buf;
}

// Writes what it can; returns the bytes written, err set on a short write.
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

bool regular(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Hands the complete records over to the system. After a short write the
// file is cut back to the last line end written, so no partial record stays.
// Async-signal-safe; errno holds the failure when it returns false.
bool drain(Channel& ch) {
  size_t n = ch.out_len;
  if (n == 0) return true;
  int err = 0;
  size_t done = write_all(ch.fd, ch.out, n, err);
  ch.out_len = 0;
  if (done == n) return true;
  size_t keep = done;
  while (keep > 0 && ch.out[keep - 1] != '\n') keep--;
  if (regular(ch.fd)) {
    off_t good = lseek(ch.fd, 0, SEEK_CUR) - static_cast<off_t>(done - keep);
    if (ftruncate(ch.fd, good) == 0) lseek(ch.fd, good, SEEK_SET);
  }
  errno = err;
  return false;
}

void flush(Channel& ch) {
  sigset_t set = end_signals(), old;
  sigprocmask(SIG_BLOCK, &set, &old);
  bool ok = drain(ch);
  int err = errno;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  if (!ok) fail_run(err, "write");
}

// A file being written ends after its last record: whatever an older,
// longer file held beyond that place is removed.
bool cut(Channel& ch) {
  if (!regular(ch.fd)) return true;
  struct stat st;
  off_t pos = lseek(ch.fd, 0, SEEK_CUR);
  if (pos < 0 || fstat(ch.fd, &st) != 0) return false;
  return st.st_size <= pos || ftruncate(ch.fd, pos) == 0;
}

void forget(Channel& ch) {
  ch.connected = false;
  ch.fd = -1;
  ch.name.clear();
  ch.at_end = ch.writing = ch.eof = false;
  ch.in_pos = ch.in_len = 0;
  ch.back = -2;
}

void close_channel(int unit) {
  Channel& ch = table[unit];
  if (!ch.connected) return;
  if (ch.writing) {
    flush(ch);
    if (!ch.name.empty() && !cut(ch)) fail_run(err_truncation, "endfile");
  }
  if (!ch.name.empty() && close(ch.fd) != 0) {
    int err = errno;
    forget(ch);
    fail_run(err, "close");
  }
  forget(ch);
}

void connect(int unit, int fd, bool writing) {
  Channel& ch = table[unit];
  forget(ch);
  ch.connected = true;
  ch.fd = fd;
  ch.writable = ch.writing = writing;
  ch.seekable = lseek(fd, 0, SEEK_CUR) >= 0;
  struct stat st;
  ch.each_record = isatty(fd) ||
                   (fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)));
}

}  // namespace

Channel& channel(int unit) { return table[unit]; }

void say_error(const char* text, size_t len) {
  int err = 0;
  write_all(STDERR_FILENO, text, len, err);
}

void connect_standard_channels() {
  connect(unit_error, STDERR_FILENO, true);
  connect(unit_input, STDIN_FILENO, false);
  connect(unit_output, STDOUT_FILENO, true);
}

void open_file_channel(const char* name, const char* status) {
  Channel& ch = table[unit_file];
  if (ch.connected) close_channel(unit_file);
  // 1. The name without trailing blanks; stored first so a report names it.
  std::string file(name);
  while (!file.empty() && file.back() == ' ') file.pop_back();
  forget(ch);
  ch.name = file;
  note_statement(unit_file, false, nullptr);
  // 2. An "old" file must exist already.
  struct stat st;
  if (std::strcmp(status, "old") == 0 && stat(file.c_str(), &st) != 0)
    fail_run(errno, "open");
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
  if (fd < 0) fail_run(errno, "open");
  ch.connected = true;
  ch.fd = fd;
  ch.seekable = lseek(fd, 0, SEEK_CUR) >= 0;
}

void close_file_channel() { close_channel(unit_file); }

void switch_to_writing(int unit, const char* context) {
  Channel& ch = table[unit];
  if (ch.writing) return;
  if (!ch.connected) fail_run(err_cant_write, context);
  // Writing goes on where reading stopped, not where the read-ahead stopped.
  off_t unread = ch.in_len - ch.in_pos + (ch.back >= 0 ? 1 : 0);
  off_t pos = ch.seekable ? lseek(ch.fd, -unread, SEEK_CUR) : 0;
  if (!ch.writable) {
    int fd = ch.name.empty() ? -1 : open(ch.name.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) fail_run(err_cant_write, context);
    if (ch.seekable) lseek(fd, pos, SEEK_SET);
    close(ch.fd);
    ch.fd = fd;
    ch.writable = true;
  }
  ch.in_pos = ch.in_len = 0;
  ch.back = -2;
  ch.writing = true;
}

void write_record(int unit, const char* text, size_t len) {
  Channel& ch = table[unit];
  allocate(ch.out);
  if (ch.out_len + len + 1 > buffer_size) flush(ch);
  if (len + 1 > buffer_size) {
    // A record longer than the buffer goes out whole, then its line end.
    sigset_t set = end_signals(), old;
    sigprocmask(SIG_BLOCK, &set, &old);
    off_t start = lseek(ch.fd, 0, SEEK_CUR);
    int err = 0;
    bool ok = write_all(ch.fd, text, len, err) == len && write_all(ch.fd, "\n", 1, err) == 1;
    if (!ok && start >= 0 && regular(ch.fd) && ftruncate(ch.fd, start) == 0)
      lseek(ch.fd, start, SEEK_SET);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (!ok) fail_run(err, "write");
    return;
  }
  std::memcpy(ch.out + ch.out_len, text, len);
  ch.out[ch.out_len + len] = '\n';
  ch.out_len = ch.out_len + static_cast<int>(len) + 1;  // the record is complete
  if (ch.each_record) flush(ch);
}

namespace {

// Refills the read-ahead; false at the end of input.
bool fill(int unit) {
  Channel& ch = table[unit];
  if (ch.eof) return false;
  allocate(ch.in);
  // An answer is awaited: the prompt must be visible first.
  if (unit == unit_input && table[unit_output].connected) flush(table[unit_output]);
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
    if (errno != EINTR) fail_run(errno, "list in");
  }
}

}  // namespace

int read_char(int unit) {
  Channel& ch = table[unit];
  if (ch.back != -2) {
    int c = ch.back;
    ch.back = -2;
    return c;
  }
  if (ch.in_pos == ch.in_len && !fill(unit)) return -1;
  int c = static_cast<unsigned char>(ch.in[ch.in_pos++]);
  // A line end stored as carriage return and line feed reads as one.
  if (c == '\r' && (ch.in_pos < ch.in_len || fill(unit)) && ch.in[ch.in_pos] == '\n') {
    ch.in_pos++;
    return '\n';
  }
  return c;
}

void unread_char(int unit, int c) { table[unit].back = c; }

void close_all_channels() {
  for (int unit = 0; unit < channel_count; unit++) close_channel(unit);
}

void rescue_all_channels() {
  // Console first, so every record written before the end reaches its reader.
  static const int order[] = {unit_output, unit_error};
  for (int unit : order)
    if (table[unit].connected && table[unit].out) drain(table[unit]);
  for (int unit = 0; unit < channel_count; unit++) {
    Channel& ch = table[unit];
    if (!ch.connected || !ch.writing || ch.name.empty()) continue;
    if (ch.out) drain(ch);
    cut(ch);
  }
}
