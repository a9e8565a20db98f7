#pragma once
// A lock on an output's name for the whole length of a run, so that two runs
// that write the same file never interleave (the SRF of one and the CSV of
// the other): the second is refused at once, naming the file and the
// process that holds it.
#include <string>

class TargetLock {
 public:
  // Takes a POSIX record lock on TARGET.lock beside the file that TARGET
  // names (the file a link names); refuses (status 2) "TARGET: another run
  // (process PID) is writing it" while another process holds it, and a
  // folder that cannot take the lock file with the system's reason (status 1).
  explicit TargetLock(const std::string& target);
  // Removes the lock file, then lets go of the lock.
  ~TargetLock();
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;

 private:
  std::string path_;
  int fd_ = -1;
};
