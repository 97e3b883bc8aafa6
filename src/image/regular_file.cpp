#include "image/regular_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace superpixels {

namespace {

// What a file that is not a regular file is, for the reason given.
const char* kindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "of an unknown kind";
}

}  // namespace

RegularFile::RegularFile(const std::string& path) {
  // O_NONBLOCK: open() of a FIFO without a writer would wait for one. It does not matter for a
  // regular file, whose reads never block.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    systemError_ = errno;
    error_ = std::string("cannot open file: ") + std::strerror(systemError_);
    return;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    systemError_ = errno;
    error_ = std::string("cannot open file: ") + std::strerror(systemError_);
  } else if (S_ISDIR(info.st_mode)) {
    // As open() says of a folder opened for writing: callers tell it by the error number.
    systemError_ = EISDIR;
    error_ = std::string("cannot open file: ") + std::strerror(EISDIR);
  } else if (!S_ISREG(info.st_mode)) {
    error_ = std::string("not a regular file (") + kindOf(info.st_mode) + ")";
  } else {
    fd_ = fd;
    size_ = info.st_size;
    return;
  }
  ::close(fd);
}

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t RegularFile::readAt(std::int64_t at, char* into, std::int64_t count) const {
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t got =
        ::pread(fd_, into + done, static_cast<std::size_t>(count - done), at + done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::string RegularFile::readAll(std::int64_t maxBytes, std::string& bytes) const {
  if (size_ > maxBytes) {
    return "file of " + std::to_string(size_) + " bytes, more than the limit of " +
           std::to_string(maxBytes);
  }
  // One byte more than fstat said tells a file that grew since.
  bytes.resize(static_cast<std::size_t>(size_) + 1);
  const std::int64_t got = readAt(0, bytes.data(), size_ + 1);
  if (got < 0) return std::string("cannot read file: ") + std::strerror(errno);
  if (got != size_) return "file changed while it was read";
  bytes.resize(static_cast<std::size_t>(size_));
  return {};
}

RegularFileBuffer::int_type RegularFileBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::int64_t at = bufferStart_ + (egptr() - eback());
  const std::int64_t got =
      file_.readAt(at, buffer_.data(), static_cast<std::int64_t>(buffer_.size()));
  if (got <= 0) return traits_type::eof();
  bufferStart_ = at;
  setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
  return traits_type::to_int_type(*gptr());
}

RegularFileBuffer::pos_type RegularFileBuffer::seekoff(off_type offset, std::ios_base::seekdir from,
                                                       std::ios_base::openmode which) {
  const std::int64_t current = bufferStart_ + (gptr() - eback());
  const std::int64_t base = from == std::ios_base::beg   ? 0
                            : from == std::ios_base::cur ? current
                                                         : file_.size();
  return seekpos(pos_type(off_type(base + offset)), which);
}

RegularFileBuffer::pos_type RegularFileBuffer::seekpos(pos_type position,
                                                       std::ios_base::openmode which) {
  const std::int64_t at = static_cast<std::int64_t>(off_type(position));
  if (!(which & std::ios_base::in) || at < 0) return pos_type(off_type(-1));
  const std::int64_t held = egptr() - eback();
  if (at >= bufferStart_ && at <= bufferStart_ + held) {
    setg(eback(), eback() + (at - bufferStart_), egptr());
  } else {
    // Nothing held: the next read starts at `at`.
    bufferStart_ = at;
    setg(buffer_.data(), buffer_.data(), buffer_.data());
  }
  return position;
}

FileBytes readFileBytes(const std::string& path, std::uint64_t maxBytes) {
  return readRegularFile(path, 0, [&](std::string_view) { return maxBytes; });
}

FileBytes readRegularFile(const std::string& path, std::size_t headBytes,
                          const std::function<std::uint64_t(std::string_view head)>& maxBytesFor) {
  FileBytes read;
  const RegularFile file(path);
  read.systemError = file.systemError();
  if (!file.ok()) {
    read.error = file.error();
    return read;
  }
  std::string head(static_cast<std::size_t>(
                       std::min<std::int64_t>(file.size(), static_cast<std::int64_t>(headBytes))),
                   '\0');
  if (file.readAt(0, head.data(), static_cast<std::int64_t>(head.size())) !=
      static_cast<std::int64_t>(head.size())) {
    read.error = "file changed while it was read";
    return read;
  }
  const std::uint64_t bound = maxBytesFor(head);
  read.error = file.readAll(static_cast<std::int64_t>(std::min<std::uint64_t>(
                                bound, std::numeric_limits<std::int64_t>::max())),
                            read.bytes);
  read.ok = read.error.empty();
  return read;
}

}  // namespace superpixels
