#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "output/atomic_file.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// File suffixes of the three results, appended to the folder + "/" + relative base.
inline constexpr const char* boundarySuffix = "_KVR.png";
inline constexpr const char* partitionSuffix = "_partition.png";
inline constexpr const char* labelSuffix = ".txt";

// Copy of `source` with the superpixel borders and the top row and left column in black: a pixel
// is black unless the 2 x 2 window ending at it lies inside the image and holds one label only.
// `labels` is row-major with one entry per pixel of `source` (8-bit, 3 channels).
cv::Mat boundaryImage(const cv::Mat& source, const std::vector<std::int32_t>& labels);

// Every pixel in its superpixel's display colour (blue, green, red bytes = component x 255 in
// single precision, truncated).
cv::Mat partitionImage(const Result& result);

// The label file: one line per row, every compact label followed by a tab, lines ended by CR LF.
std::string labelText(const Result& result);

// Result file path: folder + "/" + relativeBase + suffix. relativeBase begins with "/" (or is
// empty), so the path holds "//" after the folder name.
std::string resultPath(const std::string& folder, const std::string& relativeBase,
                       const char* suffix);

// Encode and write atomically.
WriteStatus writeBoundaryImage(const std::string& path, const cv::Mat& source,
                               const Result& result);
WriteStatus writePartitionImage(const std::string& path, const Result& result);
WriteStatus writeLabelFile(const std::string& path, const Result& result);

}  // namespace superpixels
