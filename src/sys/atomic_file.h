#pragma once
// A file written under a temporary name beside its target and renamed over
// the target only when complete: a failure, a signal or a kill never leaves
// a partial file under the target's name nor removes an older complete one.
// The target "-" is standard output, written as it goes (a stream has no
// name to rename: a failure shows in the exit status alone).
#include <cstdio>
#include <string>
#include <string_view>

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
  bool is_standard_output() const { return target_ == "-"; }
  // Writes `text`; a failure is refused (status 1) with the target and the
  // system's reason.
  void write(std::string_view text);
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

  // Where a target's file is written: a name that holds a link is followed
  // (the link stays and its file is replaced); a name that holds anything
  // but a regular file is refused (status 2).
  static std::string resolve(const std::string& target);

 private:
  std::string target_, path_, temp_;  // as named, where it is written, the temporary
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
  long long written_ = 0;  // bytes through write()
};
