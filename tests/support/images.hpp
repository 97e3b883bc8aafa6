#pragma once

// Test images built in code: filled by a function, flat, noise, and PNG files byte by byte.

#include <cstdint>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

namespace superpixels::testing {

// A BGR image of the given size filled by `colour(x, y)`.
template <typename F>
cv::Mat makeImage(int width, int height, F colour) {
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.at<cv::Vec3b>(y, x) = colour(x, y);
  }
  return image;
}

inline cv::Mat flatImage(int width, int height, cv::Vec3b colour = {90, 140, 200}) {
  return makeImage(width, height, [&](int, int) { return colour; });
}

// Pseudo-random colours, the same for the same seed.
inline cv::Mat noiseImage(int width, int height, unsigned seed = 7) {
  std::mt19937 generator(seed);
  return makeImage(width, height, [&](int, int) {
    return cv::Vec3b(generator() % 256, generator() % 256, generator() % 256);
  });
}

// PNG building blocks: the signature, a chunk with its length and CRC, an IHDR chunk.
inline const std::string pngSignature("\x89PNG\r\n\x1a\n", 8);

inline std::string bigEndian32(std::uint32_t value) {
  return std::string{static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                     static_cast<char>(value >> 8), static_cast<char>(value)};
}

inline std::string pngChunk(const std::string& type, const std::string& body) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : type + body) {
    crc ^= static_cast<std::uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return bigEndian32(static_cast<std::uint32_t>(body.size())) + type + body + bigEndian32(~crc);
}

inline std::string pngHeaderChunk(std::uint32_t width, std::uint32_t height, int bitDepth = 8,
                                  int colourType = 2) {
  return pngChunk(
      "IHDR", bigEndian32(width) + bigEndian32(height) +
                  std::string{static_cast<char>(bitDepth), static_cast<char>(colourType), 0, 0, 0});
}

// A PNG file that declares a width x height RGB image and holds no pixel data: enough for a
// decoder to read the header and fail later.
inline std::string pngDeclaring(std::uint32_t width, std::uint32_t height) {
  return pngSignature + pngHeaderChunk(width, height) + pngChunk("IEND", "");
}

}  // namespace superpixels::testing
