#pragma once

#include <opencv2/core.hpp>

#include "label_image.hpp"

namespace superpixels::eval {

// Explained variation: sum over superpixels S of |S| x |mean_S - mean|^2 divided by the sum over
// pixels p of |x_p - mean|^2, colours x being the photo's 8-bit RGB triples (0 .. 255 each) and
// |.| the Euclidean norm. 1 for a photo of one colour. `photo` is 8-bit, 3 channels, of the
// label map's size.
double explainedVariation(const LabelImage& image, const cv::Mat& photo);

}  // namespace superpixels::eval
