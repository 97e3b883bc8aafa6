#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace superpixels::bench {

// One run of an OpenCV superpixel method: its labels (CV_32SC1) and wall-clock seconds.
struct BaselineRun {
  cv::Mat labels;
  double seconds = 0.0;
};

// Region size OpenCV's SLIC and LSC get for about `count` superpixels: round(sqrt(W * H / count)).
int regionSizeFor(int width, int height, int count);

// SLIC (algorithm SLIC, ruler 10, 10 iterations, connectivity enforced) on an 8-bit Lab image. The
// time covers creation, iterations, connectivity and fetching the labels.
BaselineRun runSlic(const cv::Mat& lab, int count);

// LSC (ratio 0.075, 10 iterations, connectivity enforced) on an 8-bit Lab image.
BaselineRun runLsc(const cv::Mat& lab, int count);

// SEEDS (4 block levels, prior 2, 5 histogram bins, 4 iterations) on the HSV copy of an 8-bit BGR
// image, as OpenCV's sample runs it; the conversion is timed too.
BaselineRun runSeeds(const cv::Mat& bgr, int count);

// Labels in the tool's label-file format: one line per row, every label followed by a tab, CR LF
// line ends; labels renumbered 0 .. n - 1 in ascending order of the method's own labels.
std::string labelFileText(const cv::Mat& labels);

}  // namespace superpixels::bench
