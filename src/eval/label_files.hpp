#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "label_image.hpp"
#include "superpixels/io.hpp"

namespace superpixels::eval {

// Reads a segmentation, compacted: when `path` ends in ".txt", the tool's label text
// (superpixels/io.hpp) or, when its first line does not end with a tab, whitespace-separated
// numbers (eval/label_formats.hpp); when it ends in ".npy", a numpy array file; otherwise a label
// image that must decode (cv::IMREAD_UNCHANGED) to one 8- or 16-bit unsigned channel, the pixel
// values being the labels. On failure `error` holds the reason, without the path.
//
// Every file is read as the tool reads images: only a regular file (a FIFO or a device is refused
// unread), an image's header checked and more than `maxPixels` pixels refused before decoding,
// text and .npy files refused unread when longer than such a map can be.
bool loadLabelImage(const std::string& path, LabelImage& image, std::string& error,
                    std::int64_t maxPixels = defaultMaxPixels);

// Reads a photo as 8-bit, 3 channels (BGR), checked as label images are. On failure `error` holds
// the reason.
bool loadPhoto(const std::string& path, cv::Mat& photo, std::string& error,
               std::int64_t maxPixels = defaultMaxPixels);

}  // namespace superpixels::eval
