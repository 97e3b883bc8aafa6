#include "driver/output_tree.hpp"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace superpixels {

bool createFolder(const std::string& path, std::string* reason) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  const int cause = errno;
  struct stat info;
  if (cause == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  if (reason != nullptr) {
    *reason = cause == EEXIST ? "a file of that name exists" : std::strerror(cause);
  }
  return false;
}

}  // namespace superpixels
