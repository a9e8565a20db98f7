#include "sys/target_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sys/atomic_file.h"
#include "sys/refusal.h"

namespace {

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

TargetLock::TargetLock(const std::string& target) : path_(AtomicFile::resolve(target) + ".lock") {
  // The lock file is removed by the run that held it last, so a lock taken
  // on a file that has just lost its name is no lock: it is taken again on
  // the file under the name now. A record lock (unlike flock) tells who
  // holds it, and goes with its process, even after SIGKILL.
  for (;;) {
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0)
      throw Refusal(target + ": cannot create a file beside it: " + std::strerror(errno), status_failed);
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(fd_, F_SETLK, &whole) == 0) {
      struct stat held, named;
      if (fstat(fd_, &held) == 0 && stat(path_.c_str(), &named) == 0 && same_file(held, named)) return;
      close(fd_);
      continue;
    }
    int err = errno;
    struct flock holder = {};
    holder.l_type = F_WRLCK;
    holder.l_whence = SEEK_SET;
    bool known = fcntl(fd_, F_GETLK, &holder) == 0;
    close(fd_);
    fd_ = -1;
    if (err != EACCES && err != EAGAIN)
      throw Refusal(target + ": cannot lock " + path_ + ": " + std::strerror(err), status_failed);
    if (known && holder.l_type == F_UNLCK) continue;  // let go of in between: try again
    throw Refusal(target + ": another run (process " + (known ? std::to_string(holder.l_pid) : "unknown") +
                  ") is writing it");
  }
}

TargetLock::~TargetLock() {
  if (fd_ < 0) return;
  unlink(path_.c_str());
  close(fd_);  // lets go of the lock
}
