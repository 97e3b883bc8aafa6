// The quality measures on small label maps whose values are worked out by hand.

#include <numbers>

#include <gtest/gtest.h>

#include "eval/boundary_metrics.hpp"
#include "eval/explained_variation.hpp"
#include "eval/image_evaluation.hpp"
#include "eval/overlap_metrics.hpp"
#include "eval/shape_metrics.hpp"

namespace superpixels::eval {
namespace {

constexpr double pi = std::numbers::pi;

LabelImage labels(int width, int height, std::vector<std::int32_t> values) {
  return compactLabelImage(width, height, std::move(values));
}

// Recall and precision at the tolerance of a 4 x 4 image, r = 1.
std::pair<double, double> recallAndPrecision(const LabelImage& superpixels,
                                             const LabelImage& truth) {
  const BoundaryMap s = boundaryMap(superpixels);
  const BoundaryMap g = boundaryMap(truth);
  const int r = boundaryTolerance(superpixels.width, superpixels.height);
  return {boundaryMatchRate(g, s, r), boundaryMatchRate(s, g, r)};
}

// Two superpixels, the left and right halves; the truth splits off the top row instead.
const LabelImage halves = labels(4, 4,
                                 {0, 0, 1, 1,  //
                                  0, 0, 1, 1,  //
                                  0, 0, 1, 1,  //
                                  0, 0, 1, 1});
const LabelImage topRow = labels(4, 4,
                                 {0, 0, 0, 0,  //
                                  1, 1, 1, 1,  //
                                  1, 1, 1, 1,  //
                                  1, 1, 1, 1});

TEST(BoundaryTolerance, IsTheCeilingOfAFourHundredthOfTheDiagonal) {
  EXPECT_EQ(boundaryTolerance(4, 4), 1);        // diagonal 5.7
  EXPECT_EQ(boundaryTolerance(240, 320), 1);    // diagonal exactly 400
  EXPECT_EQ(boundaryTolerance(241, 320), 2);    // diagonal 400.6
  EXPECT_EQ(boundaryTolerance(481, 321), 2);    // diagonal 578.3, BSDS500
  EXPECT_EQ(boundaryTolerance(1200, 1600), 5);  // diagonal exactly 2000
  EXPECT_EQ(boundaryTolerance(1201, 1600), 6);  // diagonal 2000.6
}

TEST(BoundaryTolerance, OfTheSquareWindowIsTheRoundedFourHundredthOfTheDiagonal) {
  EXPECT_EQ(squareWindowTolerance(4, 4), 0);        // diagonal 5.7: 0.014
  EXPECT_EQ(squareWindowTolerance(481, 321), 1);    // BSDS500: 1.446
  EXPECT_EQ(squareWindowTolerance(120, 160), 1);    // diagonal exactly 200: 0.5, rounded up
  EXPECT_EQ(squareWindowTolerance(119, 160), 0);    // 199.4: 0.498
  EXPECT_EQ(squareWindowTolerance(360, 480), 2);    // exactly 600: 1.5
  EXPECT_EQ(squareWindowTolerance(1200, 1600), 5);  // exactly 2000
  EXPECT_EQ(defaultTolerance(481, 321, BoundaryWindow::square), 1);
  EXPECT_EQ(defaultTolerance(481, 321, BoundaryWindow::disk), 2);
}

TEST(Metrics, HalvesAgainstTopRow) {
  // Superpixel boundary: column x = 1 (right neighbour differs), 4 pixels. Truth boundary: row
  // y = 0 (lower neighbour differs), 4 pixels. r = 1.
  // Recall: (0,0) (1,0) (2,0) lie within 1 of column 1, (3,0) is 2 away: 3 / 4.
  // Precision: (1,0) and (1,1) lie within 1 of row 0, (1,2) and (1,3) do not: 2 / 4.
  EXPECT_EQ(recallAndPrecision(halves, topRow), std::make_pair(0.75, 0.5));
  // |S ∩ G|: left/top 2, left/rest 6, right/top 2, right/rest 6; every superpixel has 8.
  const Overlaps table = overlaps(halves, topRow);
  // UE: min(2, 6) + min(6, 2) + min(2, 6) + min(6, 2) = 8 over 16 pixels.
  EXPECT_DOUBLE_EQ(undersegmentationError(table), 0.5);
  // ASA: 6 + 6 over 16.
  EXPECT_DOUBLE_EQ(achievableSegmentationAccuracy(table), 0.75);
}

TEST(Metrics, PerfectOverAndUnderSegmentation) {
  // Perfect: every boundary pixel matched, no superpixel leaks.
  for (const LabelImage* map : {&halves, &topRow}) {
    EXPECT_EQ(recallAndPrecision(*map, *map), std::make_pair(1.0, 1.0));
    EXPECT_EQ(undersegmentationError(overlaps(*map, *map)), 0.0);
    EXPECT_EQ(achievableSegmentationAccuracy(overlaps(*map, *map)), 1.0);
  }

  // Over-segmentation of the truth: the rest split into halves.
  const LabelImage finer = labels(4, 4,
                                  {0, 0, 0, 0,  //
                                   1, 1, 2, 2,  //
                                   1, 1, 2, 2,  //
                                   1, 1, 2, 2});
  // Superpixel boundary: row 0 (4 pixels) and (1,1) (1,2) (1,3). Recall: row 0 is shared, 1.
  // Precision: row 0 and (1,1) lie within 1 of row 0: 5 / 7.
  EXPECT_EQ(recallAndPrecision(finer, topRow), std::make_pair(1.0, 5.0 / 7.0));
  // Every superpixel inside one segment: min(|S ∩ G|, 0) everywhere, UE 0 and ASA 1.
  EXPECT_EQ(undersegmentationError(overlaps(finer, topRow)), 0.0);
  EXPECT_EQ(achievableSegmentationAccuracy(overlaps(finer, topRow)), 1.0);

  // One superpixel: no boundary to recall with, none to be wrong (precision 1 by convention).
  const LabelImage whole = labels(4, 4, std::vector<std::int32_t>(16, 0));
  EXPECT_EQ(recallAndPrecision(whole, topRow), std::make_pair(0.0, 1.0));
  // UE: min(4, 12) + min(12, 4) = 8 over 16. ASA: 12 over 16.
  EXPECT_EQ(undersegmentationError(overlaps(whole, topRow)), 0.5);
  EXPECT_EQ(achievableSegmentationAccuracy(overlaps(whole, topRow)), 0.75);
}

TEST(Metrics, ToleranceIsAEuclideanDisk) {
  // Truth: one boundary pixel, (0,0), the only pixel of its segment. Superpixels: a 5 x 5
  // checkerboard, every pixel a boundary pixel but the corner (4,4): 24.
  std::vector<std::int32_t> cell(25, 0);
  cell[0] = 1;
  std::vector<std::int32_t> checker(25);
  for (int p = 0; p < 25; ++p) checker[p] = (p % 5 + p / 5) % 2;
  const BoundaryMap truth = boundaryMap(labels(5, 5, cell));
  const BoundaryMap board = boundaryMap(labels(5, 5, checker));
  ASSERT_EQ(truth.boundaryCount, 1);
  ASSERT_EQ(board.boundaryCount, 24);
  EXPECT_EQ(boundaryMatchRate(truth, board, 1), 1.0);
  // Pixels (x, y) with x^2 + y^2 <= r^2: r = 1: (0,0) (1,0) (0,1), not (1,1) at 1.41.
  EXPECT_EQ(boundaryMatchRate(board, truth, 1), 3.0 / 24);
  // r = 2: adds (2,0) (1,1) (0,2); not (2,1) at 2.24.
  EXPECT_EQ(boundaryMatchRate(board, truth, 2), 6.0 / 24);
  // r = 3: x = 0: 4 pixels, x = 1: 3, x = 2: 3 ((2,2) at 2.83 in), x = 3: 1.
  EXPECT_EQ(boundaryMatchRate(board, truth, 3), 11.0 / 24);
}

TEST(Metrics, SquareWindowTakesBothSidesOfAnEdgeAndBothCoordinates) {
  // The cell and the checkerboard of ToleranceIsAEuclideanDisk. Boundary pixels are now those
  // with any horizontal or vertical neighbour of another label: (0,0) (1,0) (0,1) of the cell,
  // all 25 of the board.
  std::vector<std::int32_t> cell(25, 0);
  cell[0] = 1;
  std::vector<std::int32_t> checker(25);
  for (int p = 0; p < 25; ++p) checker[p] = (p % 5 + p / 5) % 2;
  const BoundaryMap truth = boundaryMap(labels(5, 5, cell), BoundaryWindow::square);
  const BoundaryMap board = boundaryMap(labels(5, 5, checker), BoundaryWindow::square);
  ASSERT_EQ(truth.boundaryCount, 3);
  ASSERT_EQ(board.boundaryCount, 25);
  EXPECT_EQ(boundaryMatchRate(truth, board, 0, BoundaryWindow::square), 1.0);
  // r = 0: exactly the 3. r = 1: x <= 2 and y <= 1, or x <= 1 and y <= 2: 8 (a disk would leave
  // out (2,1) and (1,2)). r = 2: x <= 3 and y <= 2, or x <= 2 and y <= 3: 15.
  EXPECT_EQ(boundaryMatchRate(board, truth, 0, BoundaryWindow::square), 3.0 / 25);
  EXPECT_EQ(boundaryMatchRate(board, truth, 1, BoundaryWindow::square), 8.0 / 25);
  EXPECT_EQ(boundaryMatchRate(board, truth, 2, BoundaryWindow::square), 15.0 / 25);

  // Halves against the top row, 4 x 4: superpixel boundary columns 1 and 2 (8 pixels), truth
  // boundary rows 0 and 1 (8). r = 0: the 4 pixels on both. r = 1 (the default of neither
  // window for 4 x 4, given here): every pixel of rows 0 to 2 of columns 1 and 2 for precision (6),
  // all of rows 0 and 1 within a column of 1 or 2 for recall (8).
  const auto scores = [&](int tolerance) {
    const ImageScores s =
        evaluateImage(halves, {topRow}, nullptr, {BoundaryWindow::square, tolerance});
    return std::make_pair(s.boundaryRecall, s.boundaryPrecision);
  };
  EXPECT_EQ(scores(0), std::make_pair(0.5, 0.5));
  EXPECT_EQ(scores(1), std::make_pair(1.0, 0.75));
}

TEST(Metrics, CompactnessFavoursSquares) {
  // One 4 x 4 square, the image border counting as perimeter: 4 pi 16 / 16^2 = pi / 4.
  EXPECT_DOUBLE_EQ(compactness(labels(4, 4, std::vector<std::int32_t>(16, 0))), pi / 4);
  // Four 2 x 2 quadrants, each 4 pi 4 / 8^2 = pi / 4, weights 1/4: pi / 4.
  EXPECT_DOUBLE_EQ(compactness(labels(4, 4, {0, 0, 1, 1, 0, 0, 1, 1, 2, 2, 3, 3, 2, 2, 3, 3})),
                   pi / 4);
  // Four rows of 4 x 1, each 4 pi 4 / 10^2 = 0.16 pi, weights 1/4: 0.16 pi.
  EXPECT_DOUBLE_EQ(compactness(labels(4, 4, {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3})),
                   0.16 * pi);
  // A line of 8 x 1: perimeter 2 x 8 + 2 = 18, 4 pi 8 / 324.
  EXPECT_DOUBLE_EQ(compactness(labels(8, 1, std::vector<std::int32_t>(8, 0))), 32 * pi / 324);
  // The halves: 2 x 4 each, perimeter 12, 4 pi 8 / 144 each, weights 1/2: 2 pi / 9.
  EXPECT_DOUBLE_EQ(compactness(halves), 2 * pi / 9);
}

TEST(Metrics, CountsSuperpixelsNotInOne8ConnectedPiece) {
  // 0 runs along the diagonal (8-connected); 1 meets itself at a corner (connected); 2 is one
  // piece; 3 has (0,2) (0,3) and, apart, (3,2): the one superpixel in two pieces.
  const LabelImage map = labels(4, 4,
                                {0, 1, 1, 2,  //
                                 1, 0, 2, 2,  //
                                 3, 2, 0, 3,  //
                                 3, 2, 2, 0});
  EXPECT_EQ(notConnectedCount(map), 1);
  EXPECT_EQ(notConnectedCount(labels(3, 1, {0, 1, 0})), 1);
  EXPECT_EQ(notConnectedCount(halves), 0);
}

TEST(Metrics, ExplainedVariation) {
  // 4 x 1, superpixels {p0, p1} and {p2, p3}; BGR p0 (0,0,0), p1 (0,0,2), p2 (10,0,0), p3 (12,0,0).
  cv::Mat photo(1, 4, CV_8UC3);
  photo.at<cv::Vec3b>(0, 0) = {0, 0, 0};
  photo.at<cv::Vec3b>(0, 1) = {0, 0, 2};
  photo.at<cv::Vec3b>(0, 2) = {10, 0, 0};
  photo.at<cv::Vec3b>(0, 3) = {12, 0, 0};
  // Mean (5.5, 0, 0.5). Squared deviations: 30.5 + 32.5 + 20.5 + 42.5 = 126.
  // Superpixel means (0, 0, 1) and (11, 0, 0), each 30.5 from the mean, 4 pixels: 122.
  EXPECT_DOUBLE_EQ(explainedVariation(labels(4, 1, {0, 0, 1, 1}), photo), 122.0 / 126);
  // One superpixel explains nothing, one per pixel everything, a flat photo counts as explained.
  EXPECT_EQ(explainedVariation(labels(4, 1, {0, 0, 0, 0}), photo), 0.0);
  EXPECT_DOUBLE_EQ(explainedVariation(labels(4, 1, {0, 1, 2, 3}), photo), 1.0);
  EXPECT_EQ(explainedVariation(labels(4, 1, {0, 0, 1, 1}), cv::Mat(1, 4, CV_8UC3, 9)), 1.0);
}

TEST(ImageEvaluation, AveragesAnnotationsThenImages) {
  // Against topRow: recall 3/4, precision 1/2, UE 1/2, ASA 3/4 (HalvesAgainstTopRow); against
  // itself 1, 1, 0, 1.
  const ImageScores scores = evaluateImage(halves, {topRow, halves}, nullptr);
  EXPECT_EQ(scores.annotations, 2);
  EXPECT_DOUBLE_EQ(scores.boundaryRecall, 0.875);
  EXPECT_DOUBLE_EQ(scores.boundaryPrecision, 0.75);
  EXPECT_DOUBLE_EQ(scores.undersegmentationError, 0.25);
  EXPECT_DOUBLE_EQ(scores.achievableSegmentationAccuracy, 0.875);
  EXPECT_FALSE(scores.explainedVariation);
  EXPECT_DOUBLE_EQ(scores.compactness, 2 * pi / 9);
  EXPECT_EQ(scores.superpixelCount, 2);
  EXPECT_EQ(scores.notConnectedCount, 0);

  // Without a photo an image does not count in the mean explained variation.
  ImageScores withPhoto = scores;
  withPhoto.explainedVariation = 0.5;
  withPhoto.boundaryRecall = 0.625;
  withPhoto.superpixelCount = 5;
  const ImageScores mean = averageScores({scores, withPhoto});
  EXPECT_EQ(mean.explainedVariation, 0.5);
  EXPECT_DOUBLE_EQ(mean.boundaryRecall, 0.75);  // (0.875 + 0.625) / 2
  EXPECT_EQ(mean.superpixelCount, 3.5);
  EXPECT_FALSE(averageScores({scores}).explainedVariation);
}

TEST(ScoreSegmentation, ScoresRawLabelArraysAsTheCommandDoes) {
  // Any label values, compacted as the label files are: the halves as 7 and -1.
  std::vector<std::int32_t> raw(halves.labels);
  for (std::int32_t& l : raw) l = l == 0 ? 7 : -1;
  const ImageScores scores =
      scoreSegmentation(raw, 4, 4, {topRow.labels, halves.labels}, cv::Mat(), {});
  const ImageScores direct = evaluateImage(halves, {topRow, halves}, nullptr);
  EXPECT_EQ(scores.boundaryRecall, direct.boundaryRecall);
  EXPECT_EQ(scores.undersegmentationError, direct.undersegmentationError);
  EXPECT_EQ(scores.compactness, direct.compactness);
  EXPECT_EQ(scores.superpixelCount, 2);
  EXPECT_FALSE(scores.explainedVariation);
  EXPECT_TRUE(scoreSegmentation(raw, 4, 4, {topRow.labels}, cv::Mat(4, 4, CV_8UC3, 9), {})
                  .explainedVariation);

  EXPECT_THROW(scoreSegmentation(raw, 4, 3, {topRow.labels}, cv::Mat(), {}), std::invalid_argument);
  EXPECT_THROW(scoreSegmentation(raw, 4, 4, {}, cv::Mat(), {}), std::invalid_argument);
  EXPECT_THROW(scoreSegmentation(raw, 4, 4, {{1, 2}}, cv::Mat(), {}), std::invalid_argument);
  EXPECT_THROW(scoreSegmentation(raw, 4, 4, {topRow.labels}, cv::Mat(4, 5, CV_8UC3), {}),
               std::invalid_argument);
}

}  // namespace
}  // namespace superpixels::eval
