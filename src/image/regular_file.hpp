#pragma once

// Reading a file that may be anything a path can name: a FIFO, a device, a socket or a file that
// grows while it is read. Such files would block the reader or never end; only regular files are
// read, and never more than the caller's bound.

#include <cstdint>
#include <functional>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "superpixels/io.hpp"

namespace superpixels {

// An open regular file. The descriptor is closed with the object.
class RegularFile {
 public:
  // Opens `path` for reading without blocking (a FIFO without a writer would block open() itself)
  // and checks with fstat that it is a regular file. On failure ok() is false, `error()` says why
  // ("cannot open file: No such file or directory", "not a regular file (a FIFO)", ...) and
  // `systemError()` holds the errno when the system refused the path (0 for a special file).
  explicit RegularFile(const std::string& path);
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;
  ~RegularFile();

  bool ok() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }
  int systemError() const { return systemError_; }
  // The length fstat reported at open.
  std::int64_t size() const { return size_; }

  // Reads up to `count` bytes from offset `at` into `into`; returns how many were read (fewer at
  // the end of the file), or -1 on a read error.
  std::int64_t readAt(std::int64_t at, char* into, std::int64_t count) const;

  // Reads the whole file into `bytes` when its length is at most `maxBytes`; reads no more than
  // `maxBytes` + 1 bytes whatever the file does meanwhile. Returns an empty string, or why not
  // ("file of N bytes, more than the limit of M", "file changed while it was read", a read error).
  std::string readAll(std::int64_t maxBytes, std::string& bytes) const;

 private:
  int fd_ = -1;
  std::int64_t size_ = 0;
  std::string error_;
  int systemError_ = 0;
};

// A seekable input stream buffer over an open RegularFile, for readers written for std::istream.
// Reads go through pread, so the file's own offset is not used.
class RegularFileBuffer : public std::streambuf {
 public:
  explicit RegularFileBuffer(const RegularFile& file) : file_(file), buffer_(65536) {}

 protected:
  int_type underflow() override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir from,
                   std::ios_base::openmode which) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

 private:
  const RegularFile& file_;
  std::vector<char> buffer_;
  std::int64_t bufferStart_ = 0;  // the file offset of buffer_[0]
};

// The same, with the bound told by the file's first `headBytes` bytes (fewer for a shorter file),
// such as the pixel size a header declares.
FileBytes readRegularFile(const std::string& path, std::size_t headBytes,
                          const std::function<std::uint64_t(std::string_view head)>& maxBytesFor);

}  // namespace superpixels
