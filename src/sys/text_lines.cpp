#include "sys/text_lines.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "sys/end_signal.h"
#include "sys/refusal.h"

namespace {

constexpr size_t chunk = 1 << 20;
// A line may hold a point's samples, any number of them, but a file with no
// line feeds (a binary file, a device) must not take all memory: 64 MiB is
// some five million samples.
constexpr size_t longest_line = size_t(64) << 20;

[[noreturn]] void fail(const std::string& path, const char* what, int err) {
  throw Refusal(path + ": " + what + ": " + std::strerror(err), status_failed);
}

}  // namespace

TextLines::TextLines(std::string path) : path_(std::move(path)), buf_(chunk) {
  if (path_ == "-") {  // standard input: read, never closed
    fd_ = 0;
    owned_ = false;
    path_ = "standard input";
    return;
  }
  // A FIFO's open waits for its writer; an end signal interrupts the wait
  // (the handlers do not restart calls) and ends the run.
  while ((fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
    if (errno != EINTR) fail(path_, "cannot open", errno);
    check_end_signal();
  }
}

TextLines::~TextLines() {
  if (fd_ >= 0 && owned_) close(fd_);
}

bool TextLines::fill() {
  if (begin_ > 0) {  // keep the start of the current line at the front
    std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buf_.size()) {  // a line longer than the buffer
    if (buf_.size() >= longest_line)
      throw Refusal(path_ + ":" + std::to_string(number_ + 1) + ": a line of " +
                    std::to_string(longest_line) + " bytes or more");
    buf_.resize(std::min(buf_.size() * 2, longest_line));
  }
  // An end signal does not interrupt a read of a plain file: it is looked at
  // between chunks.
  check_end_signal();
  for (;;) {
    ssize_t n = read(fd_, buf_.data() + end_, buf_.size() - end_);
    if (n > 0) {
      end_ += size_t(n);
      return true;
    }
    if (n == 0) return false;
    if (errno != EINTR) fail(path_, "read failed", errno);
    check_end_signal();
  }
}

bool TextLines::next(std::string_view& line) {
  size_t scanned = 0;  // bytes of the current line already searched for its end
  for (;;) {
    size_t from = begin_ + scanned;
    if (auto* nl = static_cast<const char*>(std::memchr(buf_.data() + from, '\n', end_ - from))) {
      size_t at = size_t(nl - buf_.data());
      line = std::string_view(buf_.data() + begin_, at - begin_);
      begin_ = at + 1;
      number_++;
      return true;
    }
    scanned = end_ - begin_;  // fill() moves the line to the front; offsets from begin_ stay
    if (at_end_ || !fill()) {
      at_end_ = true;
      break;
    }
  }
  if (begin_ == end_) return false;
  line = std::string_view(buf_.data() + begin_, end_ - begin_);  // a last line with no line feed
  begin_ = end_;
  number_++;
  return true;
}
