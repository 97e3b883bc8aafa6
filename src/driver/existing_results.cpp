#include "driver/existing_results.hpp"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace superpixels {

namespace {

struct Size {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool operator==(const Size&) const = default;
};

std::uint32_t bigEndian(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// The size a PNG declares, or 0 x 0 when the file is not a PNG that ends with its IEND chunk.
Size wholePngSize(const std::string& path) {
  static constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  static constexpr unsigned char iend[12] = {0,   0,   0,    0,    'I',  'E',
                                             'N', 'D', 0xae, 0x42, 0x60, 0x82};
  std::ifstream in(path, std::ios::binary);
  unsigned char head[24];
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return {};
  if (std::memcmp(head, signature, 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0) return {};
  unsigned char tail[12];
  if (!in.seekg(-12, std::ios::end) || !in.read(reinterpret_cast<char*>(tail), sizeof tail)) {
    return {};
  }
  if (std::memcmp(tail, iend, sizeof iend) != 0) return {};
  return {bigEndian(head + 16), bigEndian(head + 20)};
}

// True when the label file has `size.height` lines of `size.width` tab-terminated decimal numbers,
// each line ended by CR LF.
bool wholeLabelFile(const std::string& path, Size size) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t at = 0;
  for (std::uint32_t y = 0; y < size.height; ++y) {
    for (std::uint32_t x = 0; x < size.width; ++x) {
      const std::size_t start = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
      if (at == start || at == text.size() || text[at] != '\t') return false;
      ++at;
    }
    if (text.compare(at, 2, "\r\n") != 0) return false;
    at += 2;
  }
  return at == text.size();
}

}  // namespace

bool resultsComplete(const std::string& boundaryPath, const std::string& partitionPath,
                     const std::string& labelPath) {
  const Size boundary = wholePngSize(boundaryPath);
  if (boundary.width == 0 || boundary.height == 0) return false;
  return wholePngSize(partitionPath) == boundary && wholeLabelFile(labelPath, boundary);
}

}  // namespace superpixels
