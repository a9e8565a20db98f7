// The channel table: the three console channels and the single file channel.
#include "records/channel_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

Channel table[channel_count];

Failure failed(int err, const char* context) { return {err, context}; }

void describe(Channel& ch) {
  struct stat st;
  bool known = fstat(ch.fd, &st) == 0;
  ch.regular = known && S_ISREG(st.st_mode);
  ch.socket = known && S_ISSOCK(st.st_mode);
  ch.pipe = known && S_ISFIFO(st.st_mode);
  ch.seekable = lseek(ch.fd, 0, SEEK_CUR) >= 0;
  ch.each_record = isatty(ch.fd);
  int mode = fcntl(ch.fd, F_GETFL);
  ch.write_end = mode >= 0 && (mode & O_ACCMODE) != O_RDONLY;
}

void open_nowait_once(Channel& ch) {
  if (!ch.regular && !ch.socket && ch.nowait_fd < 0) ch.nowait_fd = open_nowait(ch.fd);
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
  ch.failure = {};
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
  if (writing && unit != unit_error) open_nowait_once(ch);
}

}  // namespace

Channel& channel(int unit) { return table[unit]; }

Failure allocate(char*& buf) {
  if (!buf && !(buf = static_cast<char*>(std::malloc(buffer_size))))
    return failed(err_no_space, "malloc failure");
  return {};
}

// A pipe, FIFO or console is written through a second description of its
// own, opened without waiting, so that no other holder of the stream sees
// its mode changed. Safe for each kind: a pipe or FIFO takes a write of at
// most PIPE_BUF bytes whole or not at all (EAGAIN); a terminal, stopped or
// not, takes what it has room for at once and may take part of a record.
// Only a descriptor open for writing is opened again for writing:
// reopening the read end of a pipe, or a closed stream held by /dev/null
// (start_run), would give the run a way out that it was not given.
int open_nowait(int fd) {
  int mode = fcntl(fd, F_GETFL);
  if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) return -1;
  char path[32] = "/proc/self/fd/";
  std::strcat(path, std::to_string(fd).c_str());
  return open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

void connect_standard_channels() {
  connect(unit_error, STDERR_FILENO, true);
  connect(unit_input, STDIN_FILENO, false);
  connect(unit_output, STDOUT_FILENO, true);
}

Failure open_channel(const char* name, const char* status) {
  Channel& ch = table[unit_file];
  // The name without trailing blanks, stored first so a report names it.
  std::string file(name);
  while (!file.empty() && file.back() == ' ') file.pop_back();
  forget(ch);
  ch.name = file;
  // An "old" file must exist already.
  struct stat st;
  if (std::strcmp(status, "old") == 0 && stat(file.c_str(), &st) != 0)
    return failed(errno, "open");
  // Update, else read only, else create it empty for writing.
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

Failure close_channel(int unit) {
  Channel& ch = table[unit];
  if (!ch.connected) return {};
  if (!ch.name.empty() && close(ch.fd) != 0) {
    int err = errno;
    forget(ch);
    return failed(err, "close");
  }
  forget(ch);
  return {};
}

Failure start_writing(int unit, const char* context) {
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
  // moment, a kill included, the file holds only this run's records (whole,
  // but after SIGKILL inside a write, see hand_to_file).
  if (ch.regular && ftruncate(ch.fd, pos) != 0) return failed(err_truncation, "endfile");
  open_nowait_once(ch);
  ch.in_pos = ch.in_len = 0;
  ch.back = -2;
  ch.writing = true;
  return {};
}
