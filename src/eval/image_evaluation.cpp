#include "image_evaluation.hpp"

#include <stdexcept>
#include <string>

#include "boundary_metrics.hpp"
#include "explained_variation.hpp"
#include "overlap_metrics.hpp"
#include "shape_metrics.hpp"

namespace superpixels::eval {

ImageScores evaluateImage(const LabelImage& superpixels,
                          const std::vector<LabelImage>& groundTruths, const cv::Mat* photo,
                          const BoundaryMatching& matching) {
  ImageScores scores;
  const BoundaryWindow window = matching.window;
  const int tolerance = matching.tolerance >= 0
                            ? matching.tolerance
                            : defaultTolerance(superpixels.width, superpixels.height, window);
  const BoundaryMap superpixelBoundary = boundaryMap(superpixels, window);
  for (const LabelImage& truth : groundTruths) {
    const BoundaryMap truthBoundary = boundaryMap(truth, window);
    scores.boundaryRecall +=
        boundaryMatchRate(truthBoundary, superpixelBoundary, tolerance, window);
    scores.boundaryPrecision +=
        boundaryMatchRate(superpixelBoundary, truthBoundary, tolerance, window);
    const Overlaps table = overlaps(superpixels, truth);
    scores.undersegmentationError += undersegmentationError(table);
    scores.achievableSegmentationAccuracy += achievableSegmentationAccuracy(table);
  }
  const double n = static_cast<double>(groundTruths.size());
  scores.annotations = n;
  scores.boundaryRecall /= n;
  scores.boundaryPrecision /= n;
  scores.undersegmentationError /= n;
  scores.achievableSegmentationAccuracy /= n;
  if (photo) scores.explainedVariation = explainedVariation(superpixels, *photo);
  scores.compactness = compactness(superpixels);
  scores.superpixelCount = superpixels.count;
  scores.notConnectedCount = notConnectedCount(superpixels);
  return scores;
}

ImageScores averageScores(const std::vector<ImageScores>& images) {
  ImageScores mean;
  double explained = 0.0;
  int withPhoto = 0;
  for (const ImageScores& s : images) {
    mean.annotations += s.annotations;
    mean.boundaryRecall += s.boundaryRecall;
    mean.boundaryPrecision += s.boundaryPrecision;
    mean.undersegmentationError += s.undersegmentationError;
    mean.achievableSegmentationAccuracy += s.achievableSegmentationAccuracy;
    mean.compactness += s.compactness;
    mean.superpixelCount += s.superpixelCount;
    mean.notConnectedCount += s.notConnectedCount;
    if (s.explainedVariation) {
      explained += *s.explainedVariation;
      ++withPhoto;
    }
  }
  const double n = static_cast<double>(images.size());
  mean.annotations /= n;
  mean.boundaryRecall /= n;
  mean.boundaryPrecision /= n;
  mean.undersegmentationError /= n;
  mean.achievableSegmentationAccuracy /= n;
  mean.compactness /= n;
  mean.superpixelCount /= n;
  mean.notConnectedCount /= n;
  if (withPhoto > 0) mean.explainedVariation = explained / withPhoto;
  return mean;
}

ImageScores scoreSegmentation(std::vector<std::int32_t> superpixels, int width, int height,
                              std::vector<std::vector<std::int32_t>> groundTruths,
                              const cv::Mat& photo, const BoundaryMatching& matching) {
  const auto size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const auto sizeText = [&] { return std::to_string(width) + " x " + std::to_string(height); };
  if (width < 1 || height < 1 || superpixels.size() != size) {
    throw std::invalid_argument("the superpixels are not " + sizeText() + " labels");
  }
  if (groundTruths.empty()) throw std::invalid_argument("no ground truth");
  for (const std::vector<std::int32_t>& truth : groundTruths) {
    if (truth.size() != size) throw std::invalid_argument("a ground truth is not " + sizeText());
  }
  if (!photo.empty() && (photo.type() != CV_8UC3 || photo.cols != width || photo.rows != height)) {
    throw std::invalid_argument("the photo is not 8-bit with 3 channels of " + sizeText());
  }
  if (matching.tolerance > maxTolerance) {
    throw std::invalid_argument("tolerance above " + std::to_string(maxTolerance));
  }
  std::vector<LabelImage> truths;
  truths.reserve(groundTruths.size());
  for (std::vector<std::int32_t>& truth : groundTruths) {
    truths.push_back(compactLabelImage(width, height, std::move(truth)));
  }
  return evaluateImage(compactLabelImage(width, height, std::move(superpixels)), truths,
                       photo.empty() ? nullptr : &photo, matching);
}

}  // namespace superpixels::eval
