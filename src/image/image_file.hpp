#pragma once

#include <cstdint>
#include <string>

#include "superpixels/io.hpp"

namespace superpixels {

// The checked read behind readImage and readMask, for readers that need the decoder's own image:
// a regular file only, its header checked, `maxPixels` applied to the declared size and to a
// TIFF's tile, the file read once with a bound, damaged data refused, then cv::imdecode with
// `flags` (cv::IMREAD_COLOR, cv::IMREAD_UNCHANGED, ...). Nothing is printed.
ImageFile decodeImageFile(const std::string& path, std::int64_t maxPixels, int flags);

}  // namespace superpixels
