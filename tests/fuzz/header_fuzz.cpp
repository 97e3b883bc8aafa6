#include "header_fuzz.hpp"

#include <sstream>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "image/data_check.hpp"
#include "image/image_header.hpp"

namespace superpixels::fuzz {

std::string checkHeader(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const ImageHeader header = readImageHeader(in);
  if (!header.ok) return header.reason.empty() ? "refused without a reason" : "";
  if (header.width < 1 || header.height < 1) return "accepted an empty size";
  if ((header.tileWidth != 0 || header.tileHeight != 0) &&
      (header.tileWidth < 1 || header.tileHeight < 1)) {
    return "accepted an empty tile";
  }
  // Each side first: the product of two 32-bit sizes may overflow. The decoder allocates a whole
  // tile, whatever the image's size: it too must be small.
  const auto small = [](std::int64_t width, std::int64_t height) {
    return width <= 65536 && height <= 65536 && width * height <= 65536;
  };
  if (!small(header.width, header.height) || !small(header.tileWidth, header.tileHeight)) {
    return "";
  }
  // The data checks read what the decoder would; on damage the decoder is not reached.
  std::string checked(reinterpret_cast<const char*>(data), size);
  if (!imageDataDamage(checked).empty()) return "";
  const std::vector<std::uint8_t> bytes(checked.begin(), checked.end());
  cv::Mat decoded;
  try {
    decoded = cv::imdecode(bytes, cv::IMREAD_COLOR);
  } catch (const cv::Exception&) {
    return "";
  }
  if (!decoded.empty() && (decoded.cols != header.width || decoded.rows != header.height)) {
    return "header says " + std::to_string(header.width) + " x " + std::to_string(header.height) +
           ", decoder made " + std::to_string(decoded.cols) + " x " + std::to_string(decoded.rows);
  }
  return "";
}

}  // namespace superpixels::fuzz
