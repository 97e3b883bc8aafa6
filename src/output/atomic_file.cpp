#include "output/atomic_file.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace superpixels {

namespace {

WriteStatus failure(const char* what) { return {false, std::string(what) + ": " + std::strerror(errno)}; }

}  // namespace

WriteStatus writeFileAtomically(const std::string& path, std::string_view bytes) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // Hidden, so that a leftover from a killed run is not mistaken for a result.
  std::string pattern = folder + "." + name + ".tmp-XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');

  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return failure("cannot create file");
  // mkstemp makes the file private; results get the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);

  const char* data = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      const WriteStatus status = failure("cannot write file");
      ::close(fd);
      ::unlink(temp.data());
      return status;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  if (::close(fd) != 0) {
    const WriteStatus status = failure("cannot write file");
    ::unlink(temp.data());
    return status;
  }
  if (::rename(temp.data(), path.c_str()) != 0) {
    const WriteStatus status = failure("cannot replace file");
    ::unlink(temp.data());
    return status;
  }
  return {true, {}};
}

}  // namespace superpixels
