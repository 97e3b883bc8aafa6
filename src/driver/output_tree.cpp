#include "output_tree.hpp"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace superpixels {

bool createFolder(const std::string& path, std::string* reason) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  const int cause = errno;
  struct stat info;
  // Not through a link: whoever planted it would choose where results are written and where
  // leftover temporaries are removed.
  const bool exists = cause == EEXIST && ::lstat(path.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) return true;
  if (reason != nullptr) {
    *reason = !exists                 ? std::strerror(cause)
              : S_ISLNK(info.st_mode) ? "a symbolic link of that name exists"
                                      : "a file of that name exists";
  }
  return false;
}

}  // namespace superpixels
