#include "eval/image_evaluation.hpp"

#include "eval/boundary_metrics.hpp"
#include "eval/explained_variation.hpp"
#include "eval/overlap_metrics.hpp"
#include "eval/shape_metrics.hpp"

namespace superpixels::eval {

ImageScores evaluateImage(const LabelImage& superpixels,
                          const std::vector<LabelImage>& groundTruths, const cv::Mat* photo) {
  ImageScores scores;
  const int tolerance = boundaryTolerance(superpixels.width, superpixels.height);
  const BoundaryMap superpixelBoundary = boundaryMap(superpixels);
  for (const LabelImage& truth : groundTruths) {
    const BoundaryMap truthBoundary = boundaryMap(truth);
    scores.boundaryRecall += boundaryMatchRate(truthBoundary, superpixelBoundary, tolerance);
    scores.boundaryPrecision += boundaryMatchRate(superpixelBoundary, truthBoundary, tolerance);
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

}  // namespace superpixels::eval
