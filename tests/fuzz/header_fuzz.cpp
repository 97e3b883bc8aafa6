#include "header_fuzz.hpp"

#include <sstream>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "image/image_header.hpp"

namespace superpixels::fuzz {

std::string checkHeader(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const ImageHeader header = readImageHeader(in);
  if (!header.ok) return header.reason.empty() ? "refused without a reason" : "";
  if (header.width < 1 || header.height < 1) return "accepted an empty size";
  if (header.width > 65536 || header.height > 65536 || header.width * header.height > 65536) {
    return "";  // each side first: the product of two 32-bit sizes may overflow
  }
  const std::vector<std::uint8_t> bytes(data, data + size);
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
