#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "eval/label_image.hpp"

namespace superpixels::eval {

// Quality of one superpixel map. The first four are computed against every annotation and
// averaged over them; the rest depend on the superpixels (and the photo) alone.
struct ImageScores {
  double annotations = 0;
  double boundaryRecall = 0;
  double boundaryPrecision = 0;
  double undersegmentationError = 0;
  double achievableSegmentationAccuracy = 0;
  std::optional<double> explainedVariation;  // without a photo: none
  double compactness = 0;
  double superpixelCount = 0;
  double notConnectedCount = 0;
};

// `groundTruths` holds at least one annotation; it and `photo` (8-bit BGR, when given) are of
// the size of `superpixels`.
ImageScores evaluateImage(const LabelImage& superpixels,
                          const std::vector<LabelImage>& groundTruths, const cv::Mat* photo);

// Mean of every field over `images` (not empty); the explained variation over the images that
// have one, none when none has.
ImageScores averageScores(const std::vector<ImageScores>& images);

}  // namespace superpixels::eval
