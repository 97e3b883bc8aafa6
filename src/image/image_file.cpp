// readImage and readMask of the public I/O header: the header check, then the decoder.

#include <algorithm>
#include <climits>
#include <istream>

#include <opencv2/imgcodecs.hpp>

#include "image/data_check.hpp"
#include "image/image_data.hpp"
#include "image/image_header.hpp"
#include "image/png_structure.hpp"
#include "image/regular_file.hpp"
#include "superpixels/io.hpp"

namespace superpixels {

namespace {

ImageFile failed(std::string reason, int systemError = 0) {
  ImageFile file;
  file.error = std::move(reason);
  file.systemError = systemError;
  return file;
}

std::string overLimit(std::int64_t width, std::int64_t height, std::int64_t maxPixels,
                      const char* what = "image") {
  return std::string(what) + " is " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels, more than the limit of " + std::to_string(maxPixels);
}

// Each side alone first: the product of two 32-bit sizes may not fit in 64 bits.
bool aboveLimit(std::int64_t width, std::int64_t height, std::int64_t maxPixels) {
  return width > maxPixels || height > maxPixels || width * height > maxPixels;
}

// The longest file of an image of `pixels` pixels read: 40 bytes per pixel (a TIFF of four 64-bit
// samples holds 32 uncompressed, a PNM written in decimal about 18) plus 16 MiB of metadata
// (colour profiles, previews), and at most 2 GiB, the most OpenCV decodes from memory (its
// buffer's length is an int). A file longer than that lies about its content; it is refused before
// it is read into memory.
std::int64_t longestFile(std::int64_t pixels) {
  return std::min<std::int64_t>(pixels * 40 + (std::int64_t{16} << 20), INT_MAX);
}

}  // namespace

ImageFile readImage(const std::string& path, std::int64_t maxPixels, int flags) {
  // Only a regular file: a FIFO would block every read, /dev/zero never end.
  const RegularFile source(path);
  if (!source.ok()) return failed(source.error(), source.systemError());
  ImageHeader header;
  {
    RegularFileBuffer buffer(source);
    std::istream in(&buffer);
    header = readImageHeader(in);
  }
  if (!header.ok) return failed("cannot decode image: " + header.reason);
  if (aboveLimit(header.width, header.height, maxPixels)) {
    return failed(overLimit(header.width, header.height, maxPixels));
  }
  if (aboveLimit(header.tileWidth, header.tileHeight, maxPixels)) {
    return failed(overLimit(header.tileWidth, header.tileHeight, maxPixels, "TIFF tile"));
  }
  // The file is read once, with a bound, and decoded from memory: the decoder never opens the
  // path again, which may name another file by then.
  std::string bytes;
  if (std::string why = source.readAll(longestFile(header.width * header.height), bytes);
      !why.empty()) {
    return failed(why + " for an image of " + std::to_string(header.width) + " x " +
                  std::to_string(header.height) + " pixels");
  }
  if (std::string why = imageDataDamage(bytes); !why.empty()) {
    return failed("damaged image data: " + why);
  }
  ImageFile file;
  try {
    const cv::Mat encoded(1, static_cast<int>(bytes.size()), CV_8U, bytes.data());
    file.bgr = cv::imdecode(encoded, flags);
  } catch (const cv::Exception& e) {
    return failed("cannot decode image (" + e.msg + ")");
  }
  if (file.bgr.empty()) return failed("cannot decode image");
  if (static_cast<std::int64_t>(file.bgr.cols) * file.bgr.rows > maxPixels) {
    return failed(overLimit(file.bgr.cols, file.bgr.rows, maxPixels));
  }
  return file;
}

ImageSize readImageSize(const std::string& path) {
  ImageSize size;
  const RegularFile source(path);
  if (!source.ok()) {
    size.error = source.error();
    return size;
  }
  RegularFileBuffer buffer(source);
  std::istream in(&buffer);
  const ImageHeader header = readImageHeader(in);
  size.ok = header.ok;
  size.error = header.reason;
  size.width = header.width;
  size.height = header.height;
  return size;
}

FileBytes readImageBytes(const std::string& path, std::int64_t maxPixels) {
  const auto maxBytes = [&](std::string_view head) {
    const std::uint64_t limit = static_cast<std::uint64_t>(maxPixels) * 16 + (16 << 20);
    const std::uint64_t png = pngFileBound(head);
    return png == 0 ? limit : std::min(png, limit);
  };
  return readRegularFile(path, 24, maxBytes);
}

ImageFile readImage(const std::string& path, std::int64_t maxPixels) {
  ImageFile file = readImage(path, maxPixels, cv::IMREAD_COLOR);
  if (!file.ok()) return file;
  if (const std::string why = unusableReason(file.bgr); !why.empty()) return failed(why);
  return file;
}

MaskFile readMask(const std::string& path, std::int64_t maxPixels) {
  const ImageFile file = readImage(path, maxPixels, cv::IMREAD_UNCHANGED);
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
