#include "sys/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "sys/refusal.h"

namespace {

[[noreturn]] void fail(const std::string& target, const char* what, int err) {
  std::string name = target == "-" ? "standard output" : target;
  throw Refusal(name + ": " + what + ": " + std::strerror(err), status_failed);
}

// The permissions a plain create would give: 0666 less the umask (mkstemp
// makes 0600). umask can only be read by setting it, so it is set back at once.
mode_t plain_mode() {
  mode_t mask = umask(022);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

// Where the file goes: a name that holds a link is followed, so that the link
// stays and its file is replaced; a name that holds anything but a regular
// file (a device, a FIFO, a folder) is refused, for a rename would replace
// the node itself.
std::string AtomicFile::resolve(const std::string& target) {
  struct stat st;
  if (stat(target.c_str(), &st) != 0) return target;  // new: created as it stands
  if (!S_ISREG(st.st_mode))
    throw Refusal(target + ": not a regular file (the file is written whole under a temporary name and renamed)");
  char* real = realpath(target.c_str(), nullptr);
  if (!real) return target;
  std::string path = real;
  std::free(real);
  return path;
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
  if (is_standard_output()) {
    stream_ = stdout;
    return;
  }
  path_ = resolve(target_);
  std::string name = path_ + ".tmp-XXXXXX";
  int fd = mkstemp(name.data());
  if (fd < 0) fail(target_, "cannot create a file beside it", errno);
  temp_ = name;
  // A failed fchmod leaves 0600, which loses nothing: the file is still whole.
  (void)fchmod(fd, plain_mode());
  stream_ = fdopen(fd, "w");
  if (!stream_) {
    int err = errno;
    close(fd);
    unlink(temp_.c_str());
    fail(target_, "cannot open", err);
  }
}

AtomicFile::~AtomicFile() {
  if (is_standard_output()) return;
  if (stream_) std::fclose(stream_);
  if (!committed_ && !temp_.empty()) unlink(temp_.c_str());
}

void AtomicFile::write(std::string_view text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) fail(target_, "write failed", errno ? errno : EIO);
  written_ += static_cast<long long>(text.size());
}

void AtomicFile::close_stream() {
  if (!stream_ || is_standard_output()) return;
  bool bad = std::fflush(stream_) != 0 || std::ferror(stream_);
  int err = errno;
  bad = (std::fclose(stream_) != 0) || bad;
  stream_ = nullptr;
  if (bad) fail(target_, "write failed", err ? err : EIO);
}

void AtomicFile::commit() {
  if (is_standard_output()) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) fail(target_, "write failed", errno ? errno : EIO);
    committed_ = true;
    return;
  }
  // The data reaches the disk before the name does: a crash after the
  // rename never shows an empty or partial file under the target's name.
  if (stream_) {
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) fail(target_, "write failed", errno ? errno : EIO);
    if (fsync(fileno(stream_)) != 0) fail(target_, "write failed", errno);
  } else if (int fd = open(temp_.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    // Written by another program after close_stream(): synced through a
    // descriptor of our own. A failed sync still leaves a whole file.
    (void)fsync(fd);
    close(fd);
  }
  close_stream();
  if (std::rename(temp_.c_str(), path_.c_str()) != 0) fail(target_, "cannot rename into place", errno);
  committed_ = true;
}

long long AtomicFile::size() const {
  if (is_standard_output()) return written_;
  struct stat st;
  if (stream_) std::fflush(stream_);
  const std::string& name = committed_ ? path_ : temp_;
  return stat(name.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}
