#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace superpixels {

// A file's bytes, or why they were not read.
struct FileBytes {
  bool ok = false;
  std::string bytes;
  std::string error;    // why not, when !ok
  int systemError = 0;  // the errno of a failed open or read (ENOENT: no such file), else 0
};

// Reads the regular file at `path` whole, in bounded time and memory: it is opened without
// blocking and refused unless it is a regular file (a FIFO would block the reader for good,
// /dev/zero never ends), refused when its size exceeds `maxBytes`, and read up to the size it had
// when opened (a file that grows meanwhile is not followed; one that shrinks is reported).
FileBytes readRegularFile(const std::string& path, std::uint64_t maxBytes);

// The same, with the bound told by the file's first `headBytes` bytes (fewer for a shorter file),
// such as the pixel size a header declares.
FileBytes readRegularFile(const std::string& path, std::size_t headBytes,
                          const std::function<std::uint64_t(std::string_view head)>& maxBytesFor);

}  // namespace superpixels
