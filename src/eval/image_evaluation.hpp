#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "label_image.hpp"
#include "superpixels_eval/evaluation.hpp"

namespace superpixels::eval {

// `groundTruths` holds at least one annotation; it and `photo` (8-bit BGR, when given) are of
// the size of `superpixels`.
ImageScores evaluateImage(const LabelImage& superpixels,
                          const std::vector<LabelImage>& groundTruths, const cv::Mat* photo,
                          const BoundaryMatching& matching = {});

// Mean of every field over `images` (not empty); the explained variation over the images that
// have one, none when none has.
ImageScores averageScores(const std::vector<ImageScores>& images);

}  // namespace superpixels::eval
