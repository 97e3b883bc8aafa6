// readImage and readMask of the public I/O header: the header check, then the decoder.

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

// Opens, checks the header of and decodes the file at `path` with `flags`.
ImageFile decodeChecked(const std::string& path, std::int64_t maxPixels, int flags) {
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
    file.bgr = cv::imread(path, flags);
  } catch (const cv::Exception& e) {
    return failed("cannot decode image (" + e.msg + ")");
  }
  if (file.bgr.empty()) return failed("cannot decode image");
  if (static_cast<std::int64_t>(file.bgr.cols) * file.bgr.rows > maxPixels) {
    return failed(overLimit(file.bgr.cols, file.bgr.rows, maxPixels));
  }
  return file;
}

}  // namespace

ImageFile readImage(const std::string& path, std::int64_t maxPixels) {
  ImageFile file = decodeChecked(path, maxPixels, cv::IMREAD_COLOR);
  if (!file.ok()) return file;
  if (const std::string why = unusableReason(file.bgr); !why.empty()) return failed(why);
  return file;
}

MaskFile readMask(const std::string& path, std::int64_t maxPixels) {
  const ImageFile file = decodeChecked(path, maxPixels, cv::IMREAD_UNCHANGED);
  MaskFile mask;
  if (!file.ok()) {
    mask.error = file.error;
    mask.systemError = file.systemError;
    return mask;
  }
  // Inside where any channel is not zero, whatever the depth.
  std::vector<cv::Mat> channels;
  cv::split(file.bgr, channels);
  mask.mask = cv::Mat(file.bgr.size(), CV_8U, cv::Scalar(0));
  for (const cv::Mat& channel : channels) mask.mask.setTo(1, channel != 0);
  return mask;
}

}  // namespace superpixels
