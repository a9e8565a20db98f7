#pragma once
// A fresh folder under $TMPDIR (or /tmp) that only this run uses, removed
// with everything in it when the object goes, also on a refusal or an end
// signal.
#include <string>

class PrivateFolder {
 public:
  explicit PrivateFolder(const std::string& stem);
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};
