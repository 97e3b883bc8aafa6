// readImage of the public I/O header: the header check, then the decoder.

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

#include "image/image_data.hpp"
#include "image/image_header.hpp"
#include "superpixels/io.hpp"

namespace superpixels {

namespace {

ImageFile failed(std::string reason, int systemError = 0) {
  ImageFile file;
  file.error = std::move(reason);
  file.systemError = systemError;
  return file;
}

std::string overLimit(std::int64_t width, std::int64_t height, std::int64_t maxPixels) {
  return "image is " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels, more than the limit of " + std::to_string(maxPixels);
}

// The errno that keeps `path` from being read as a file (ENOENT, EACCES, EISDIR, ...), or 0.
int openError(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat info;
  const int error = ::fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  ::close(fd);
  return error;
}

}  // namespace

ImageFile readImage(const std::string& path, std::int64_t maxPixels) {
  if (const int error = openError(path); error != 0) {
    return failed(std::string("cannot open file: ") + std::strerror(error), error);
  }
  const ImageHeader header = readImageHeader(path);
  if (!header.ok) return failed("cannot decode image: " + header.reason);
  // Each side alone first: the product of two 32-bit sizes may not fit in 64 bits.
  if (header.width > maxPixels || header.height > maxPixels ||
      header.width * header.height > maxPixels) {
    return failed(overLimit(header.width, header.height, maxPixels));
  }
  ImageFile file;
  try {
    file.bgr = cv::imread(path, cv::IMREAD_COLOR);
  } catch (const cv::Exception& e) {
    return failed("cannot decode image (" + e.msg + ")");
  }
  if (file.bgr.empty()) return failed("cannot decode image");
  if (const std::string why = unusableReason(file.bgr); !why.empty()) return failed(why);
  if (static_cast<std::int64_t>(file.bgr.cols) * file.bgr.rows > maxPixels) {
    return failed(overLimit(file.bgr.cols, file.bgr.rows, maxPixels));
  }
  return file;
}

}  // namespace superpixels
