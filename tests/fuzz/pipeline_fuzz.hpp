#pragma once

// The fuzz target: bytes -> a small image and options -> the whole in-memory pipeline -> invariant
// checks. Shared by the libFuzzer executable and the corpus replay test.

#include <cstddef>
#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "superpixels/superpixels.hpp"

namespace superpixels::fuzz {

// What a fuzz input asks for.
struct FuzzCase {
  cv::Mat image;  // 8-bit BGR, 1 .. 64 pixels each side
  cv::Mat mask;   // empty, or 8-bit of the image's size
  Options options;
};

// Turns any bytes (none included) into a valid case. Layout: width, height, a mode byte choosing
// how the count, the weight and the pixels are read, whether superpixels are 4-connected and
// whether a mask follows the pixels, then the fields; missing bytes read as 0.
FuzzCase decodeCase(const std::uint8_t* data, std::size_t size);

// Segments the case's image and checks the invariants of the result: every label in range and -1
// exactly outside the mask, labels and pixel sets agree, region counts consistent, every
// superpixel one piece (8- or 4-connected as asked), the writers' in-memory output well-formed.
// Returns the first broken invariant, empty when none.
std::string checkPipeline(const FuzzCase& fuzzCase);

}  // namespace superpixels::fuzz
