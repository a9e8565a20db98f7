#pragma once
// A progress bar on standard error, for a terminal only and only for a run
// that takes more than a moment.
#include <chrono>

class Progress {
 public:
  explicit Progress(long total);
  ~Progress();  // clears the bar's line
  void show(long done);

 private:
  long total_;
  bool terminal_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_, last_;
};
