#pragma once

#include <string>

#include <opencv2/core.hpp>

#include "eval/label_image.hpp"

namespace superpixels::eval {

// Reads a segmentation, compacted: when `path` ends in ".txt", the tool's label text
// (output/label_file.hpp) or, when its first line does not end with a tab, whitespace-separated
// numbers (eval/label_formats.hpp); when it ends in ".npy", a numpy array file; otherwise a label
// image that must decode (cv::IMREAD_UNCHANGED) to one 8- or 16-bit unsigned channel, the pixel
// values being the labels. On failure `error` holds the reason, without the path.
bool loadLabelImage(const std::string& path, LabelImage& image, std::string& error);

// Reads a photo as 8-bit, 3 channels (BGR). On failure `error` holds the reason.
bool loadPhoto(const std::string& path, cv::Mat& photo, std::string& error);

}  // namespace superpixels::eval
