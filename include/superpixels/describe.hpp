#pragma once

/// @file
/// Superpixels as data: one row of figures per superpixel, and which superpixels touch. Both work
/// on any label map (the engine's, or another program's), ignore the label -1 (outside a mask),
/// and are computed in double precision in one pass over the pixels.

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace superpixels {

/// The figures of one superpixel. x is the column and y the row. Covariances divide by the pixel
/// count: with the means they are the Gaussian model of the superpixel's positions and colours.
///
/// The bounding box is inclusive: width = right - left + 1. The colour means are of the 8-bit
/// image's channels, and of OpenCV's 8-bit Lab (L scaled to 0..255, a and b offset by 128) as the
/// engine sees it; they and the covariances of Lab are NaN when no image was given.
struct RegionRow {
  std::int32_t label = 0;   ///< the superpixel's label
  std::int64_t pixels = 0;  ///< its number of pixels
  double centroidX = 0.0;   ///< mean x
  double centroidY = 0.0;   ///< mean y
  std::int32_t left = 0;    ///< bounding box: least x
  std::int32_t top = 0;     ///< bounding box: least y
  std::int32_t width = 0;   ///< bounding box: columns
  std::int32_t height = 0;  ///< bounding box: rows
  double meanRed = 0.0;     ///< mean of the image's red channel
  double meanGreen = 0.0;   ///< mean of the image's green channel
  double meanBlue = 0.0;    ///< mean of the image's blue channel
  double meanL = 0.0;       ///< mean Lab L
  double meanA = 0.0;       ///< mean Lab a
  double meanB = 0.0;       ///< mean Lab b
  double covXX = 0.0;       ///< variance of x
  double covXY = 0.0;       ///< covariance of x and y
  double covYY = 0.0;       ///< variance of y
  double covLL = 0.0;       ///< variance of Lab L
  double covLA = 0.0;       ///< covariance of Lab L and a
  double covLB = 0.0;       ///< covariance of Lab L and b
  double covAA = 0.0;       ///< variance of Lab a
  double covAB = 0.0;       ///< covariance of Lab a and b
  double covBB = 0.0;       ///< variance of Lab b
};

/// The table's column names, in the order of RegionRow and of the CSV file's header.
inline constexpr const char* regionColumns[] = {
    "label",    "pixels",     "centroid_x", "centroid_y", "left",   "top",    "width",  "height",
    "mean_red", "mean_green", "mean_blue",  "mean_l",     "mean_a", "mean_b", "cov_xx", "cov_xy",
    "cov_yy",   "cov_ll",     "cov_la",     "cov_lb",     "cov_aa", "cov_ab", "cov_bb"};

/// One row per label of `labels` (width x height, row-major), in ascending order of label; -1 is
/// left out. `bgr`, when given, is the segmented image (8-bit, 3 channels, blue-green-red, of that
/// size) and fills the colour columns. Throws std::invalid_argument when the sizes disagree.
std::vector<RegionRow> describeRegions(const std::vector<std::int32_t>& labels, std::int32_t width,
                                       std::int32_t height, const cv::Mat& bgr = cv::Mat());

/// Two superpixels that touch: label_a < label_b, and the number of horizontal or vertical pixel
/// pairs, one pixel in each, along which they do.
struct AdjacentPair {
  std::int32_t labelA = 0;       ///< the smaller label
  std::int32_t labelB = 0;       ///< the larger label
  std::int64_t sharedEdges = 0;  ///< the pixel pairs along which they touch
};

/// Every pair of labels of `labels` (width x height, row-major) that touch through a horizontal
/// or vertical pixel pair, sorted by labelA, then labelB; -1 touches nothing. Throws
/// std::invalid_argument when the sizes disagree.
std::vector<AdjacentPair> adjacency(const std::vector<std::int32_t>& labels, std::int32_t width,
                                    std::int32_t height);

/// The tables as CSV: a header line of the column names ("label_a,label_b,shared_edges" for the
/// adjacency), then one line per row, numbers in the shortest form that reads back exactly. Lines
/// end with a line feed. A NaN is written as an empty field.
std::string regionsCsv(const std::vector<RegionRow>& rows);
/// The adjacency table as CSV, written as regionsCsv describes.
std::string adjacencyCsv(const std::vector<AdjacentPair>& pairs);

}  // namespace superpixels
