#pragma once
// A file written under a temporary name beside its target and renamed over
// the target only when complete: a failure, a signal or a kill never leaves
// a partial file under the target's name nor removes an older complete one.
#include <cstdio>
#include <string>

class AtomicFile {
 public:
  // Creates "TARGET.tmp-XXXXXX" in the target's folder (the folder of the
  // file a link names); a folder that cannot take it is refused with the
  // target and the system's reason, a target that is not a regular file too.
  explicit AtomicFile(std::string target);
  ~AtomicFile();  // an uncommitted temporary is removed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  std::FILE* stream() { return stream_; }
  const std::string& target() const { return target_; }
  const std::string& temp_path() const { return temp_; }
  // Closes the stream and hands the temporary's name to another writer (a
  // child program that writes the file itself); commit() then syncs and
  // renames it.
  void close_stream();
  // Flushes, syncs and renames over the target; reports the first failure
  // of any of them with the target and the system's reason.
  void commit();
  // Bytes written so far (after commit: the file's size).
  long long size() const;

 private:
  static std::string resolve(const std::string& target);
  std::string target_, path_, temp_;  // as named, where it is written, the temporary
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
};
