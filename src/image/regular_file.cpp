#include "image/regular_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace superpixels {

namespace {

FileBytes failed(std::string error, int systemError = 0) {
  FileBytes file;
  file.error = std::move(error);
  file.systemError = systemError;
  return file;
}

// Reads bytes [from, bytes.size()) of `fd` into `bytes`; false when the file ends first.
bool readAt(int fd, std::string& bytes, std::size_t from, int& systemError) {
  while (from < bytes.size()) {
    const ssize_t got =
        ::pread(fd, bytes.data() + from, bytes.size() - from, static_cast<off_t>(from));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) systemError = errno;
    if (got <= 0) return false;
    from += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

FileBytes readRegularFile(const std::string& path, std::uint64_t maxBytes) {
  return readRegularFile(path, 0, [&](std::string_view) { return maxBytes; });
}

FileBytes readRegularFile(const std::string& path, std::size_t headBytes,
                          const std::function<std::uint64_t(std::string_view head)>& maxBytesFor) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    return failed(std::strerror(error), error);
  }
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } closer{fd};
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    return failed(std::strerror(error), error);
  }
  if (!S_ISREG(info.st_mode)) return failed("not a regular file");
  const auto size = static_cast<std::uint64_t>(info.st_size);
  FileBytes file;
  int systemError = 0;
  file.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, headBytes)));
  if (!readAt(fd, file.bytes, 0, systemError)) {
    return failed(systemError != 0 ? std::strerror(systemError) : "file cut short while read",
                  systemError);
  }
  const std::uint64_t maxBytes = maxBytesFor(file.bytes);
  if (size > maxBytes) {
    return failed("file too large: " + std::to_string(size) + " bytes, at most " +
                  std::to_string(maxBytes) + " expected");
  }
  const std::size_t head = file.bytes.size();
  file.bytes.resize(static_cast<std::size_t>(size));
  if (!readAt(fd, file.bytes, head, systemError)) {
    return failed(systemError != 0 ? std::strerror(systemError) : "file cut short while read",
                  systemError);
  }
  file.ok = true;
  return file;
}

}  // namespace superpixels
