#include "sys/progress.h"

#include <unistd.h>

#include <cstdio>

namespace {
// The bar appears once a run has taken this long, and moves at most this often.
constexpr auto quiet_start = std::chrono::milliseconds(500);
constexpr auto refresh = std::chrono::milliseconds(100);
}  // namespace

Progress::Progress(long total) : total_(total), terminal_(isatty(2) == 1) {
  start_ = last_ = std::chrono::steady_clock::now();
}

Progress::~Progress() {
  if (shown_) std::fputs("\r\033[K", stderr);
}

void Progress::show(long done) {
  if (!terminal_) return;
  auto now = std::chrono::steady_clock::now();
  if (now - start_ < quiet_start || (shown_ && now - last_ < refresh && done < total_)) return;
  last_ = now;
  shown_ = true;
  const int width = 40;
  int filled = total_ > 0 ? static_cast<int>(width * done / total_) : width;
  char bar[width + 1];
  for (int k = 0; k < width; k++) bar[k] = k < filled ? '#' : '.';
  bar[width] = '\0';
  std::fprintf(stderr, "\r[%s] %3ld%% %ld/%ld subfaults", bar, total_ > 0 ? 100 * done / total_ : 100, done, total_);
  std::fflush(stderr);
}
