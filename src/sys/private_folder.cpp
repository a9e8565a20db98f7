#include "sys/private_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "sys/refusal.h"

PrivateFolder::PrivateFolder(const std::string& stem) {
  const char* tmp = std::getenv("TMPDIR");
  std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
  if (!mkdtemp(name.data())) throw Refusal("cannot create a temporary folder " + name + ": " + std::strerror(errno), status_failed);
  path_ = name;
}

PrivateFolder::~PrivateFolder() {
  std::error_code ignored;  // a folder that cannot be removed is left: nothing else is lost
  std::filesystem::remove_all(path_, ignored);
}
