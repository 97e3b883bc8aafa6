// The per-superpixel table and the adjacency, checked against figures computed here the plain
// way (two passes, every pixel pair looked at) from the same label maps.

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include <opencv2/imgproc.hpp>

#include "superpixels/describe.hpp"
#include "superpixels/io.hpp"
#include "superpixels/superpixels.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

// The row of `label`, computed with two passes over the pixels: means first, then deviations.
RegionRow plainRow(const std::vector<std::int32_t>& labels, int width, int height,
                   const cv::Mat& bgr, std::int32_t label) {
  cv::Mat lab;
  cv::cvtColor(bgr, lab, cv::COLOR_BGR2Lab);
  RegionRow row;
  row.label = label;
  double sum[8] = {};
  int left = width, right = -1, top = height, bottom = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (labels[y * width + x] != label) continue;
      const cv::Vec3b c = bgr.at<cv::Vec3b>(y, x), l = lab.at<cv::Vec3b>(y, x);
      const double f[8] = {double(x),    double(y),    double(c[2]), double(c[1]),
                           double(c[0]), double(l[0]), double(l[1]), double(l[2])};
      for (int k = 0; k < 8; ++k) sum[k] += f[k];
      ++row.pixels;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  const double n = double(row.pixels);
  double mean[8];
  for (int k = 0; k < 8; ++k) mean[k] = sum[k] / n;
  double c[8][8] = {};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (labels[y * width + x] != label) continue;
      const cv::Vec3b l = lab.at<cv::Vec3b>(y, x);
      const double d[8] = {x - mean[0],    y - mean[1],   0, 0, 0, l[0] - mean[5],
                           l[1] - mean[6], l[2] - mean[7]};
      for (int a = 0; a < 8; ++a) {
        for (int b = 0; b < 8; ++b) c[a][b] += d[a] * d[b] / n;
      }
    }
  }
  row.centroidX = mean[0], row.centroidY = mean[1];
  row.left = left, row.top = top, row.width = right - left + 1, row.height = bottom - top + 1;
  row.meanRed = mean[2], row.meanGreen = mean[3], row.meanBlue = mean[4];
  row.meanL = mean[5], row.meanA = mean[6], row.meanB = mean[7];
  row.covXX = c[0][0], row.covXY = c[0][1], row.covYY = c[1][1];
  row.covLL = c[5][5], row.covLA = c[5][6], row.covLB = c[5][7];
  row.covAA = c[6][6], row.covAB = c[6][7], row.covBB = c[7][7];
  return row;
}

void expectNear(const RegionRow& want, const RegionRow& got) {
  EXPECT_EQ(got.label, want.label);
  EXPECT_EQ(got.pixels, want.pixels);
  EXPECT_EQ(got.left, want.left);
  EXPECT_EQ(got.top, want.top);
  EXPECT_EQ(got.width, want.width);
  EXPECT_EQ(got.height, want.height);
  const double w[] = {want.centroidX, want.centroidY, want.meanRed, want.meanGreen, want.meanBlue,
                      want.meanL,     want.meanA,     want.meanB,   want.covXX,     want.covXY,
                      want.covYY,     want.covLL,     want.covLA,   want.covLB,     want.covAA,
                      want.covAB,     want.covBB};
  const double g[] = {got.centroidX, got.centroidY, got.meanRed, got.meanGreen, got.meanBlue,
                      got.meanL,     got.meanA,     got.meanB,   got.covXX,     got.covXY,
                      got.covYY,     got.covLL,     got.covLA,   got.covLB,     got.covAA,
                      got.covAB,     got.covBB};
  for (int k = 0; k < 17; ++k) {
    EXPECT_NEAR(g[k], w[k], 1e-9 * (1.0 + std::fabs(w[k])))
        << "label " << want.label << " figure " << k;
  }
}

// Every pair of labels seen across a horizontal or vertical pixel pair, counted.
std::map<std::pair<int, int>, std::int64_t> plainAdjacency(const std::vector<std::int32_t>& labels,
                                                           int width, int height) {
  std::map<std::pair<int, int>, std::int64_t> pairs;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int a = labels[y * width + x];
      for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{0, 1}}) {
        if (x + dx >= width || y + dy >= height) continue;
        const int b = labels[(y + dy) * width + x + dx];
        if (a != b && a != -1 && b != -1) ++pairs[{std::min(a, b), std::max(a, b)}];
      }
    }
  }
  return pairs;
}

void expectTables(const std::vector<std::int32_t>& labels, const cv::Mat& bgr) {
  const int width = bgr.cols, height = bgr.rows;
  std::vector<std::int32_t> distinct = labels;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  distinct.erase(std::remove(distinct.begin(), distinct.end(), -1), distinct.end());

  const std::vector<RegionRow> rows = describeRegions(labels, width, height, bgr);
  ASSERT_EQ(rows.size(), distinct.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ASSERT_NO_FATAL_FAILURE(expectNear(plainRow(labels, width, height, bgr, distinct[i]), rows[i]));
  }

  const auto want = plainAdjacency(labels, width, height);
  const std::vector<AdjacentPair> got = adjacency(labels, width, height);
  ASSERT_EQ(got.size(), want.size());
  auto expected = want.begin();
  for (const AdjacentPair& pair : got) {
    EXPECT_EQ(std::pair(pair.labelA, pair.labelB), expected->first);
    EXPECT_EQ(pair.sharedEdges, expected->second);
    ++expected;
  }
}

TEST(RegionTable, MatchesPlainFiguresOnASegmentedPhoto) {
  const cv::Mat photo =
      readImage((testDataDir() / "golden" / "chelsea-120x80-k40" / "input.png").string()).bgr;
  ASSERT_FALSE(photo.empty());
  const Result result = segment(photo, Options{40, 1.0f});
  expectTables(result.labels, photo);
}

// Labels of other programs: sparse, large, negative -1 left out, in no particular order.
TEST(RegionTable, AnyLabelsAndMinusOneLeftOut) {
  const cv::Mat image = noiseImage(9, 7, 3);
  std::vector<std::int32_t> labels(63);
  for (int p = 0; p < 63; ++p) {
    const int x = p % 9, y = p / 9;
    labels[p] = x < 3 ? 2000000000 : y < 3 ? 7 : x == 8 ? -1 : 123456;
  }
  expectTables(labels, image);
  // Small labels with gaps take the lookup path; every label in a row of its own.
  for (int p = 0; p < 63; ++p) labels[p] = p % 5 == 0 ? -1 : (p % 7) * 3;
  expectTables(labels, image);
}

TEST(RegionTable, WithoutAnImageTheColourFiguresAreNaN) {
  const std::vector<std::int32_t> labels = {0, 0, 1, 0, 1, 1};
  const std::vector<RegionRow> rows = describeRegions(labels, 3, 2);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].pixels, 3);
  EXPECT_DOUBLE_EQ(rows[0].centroidX, 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(rows[0].covXX, 2.0 / 9.0);
  EXPECT_TRUE(std::isnan(rows[0].meanRed));
  EXPECT_TRUE(std::isnan(rows[1].covBB));
  EXPECT_THROW(describeRegions(labels, 4, 2), std::invalid_argument);
  EXPECT_THROW(adjacency(labels, 2, 2), std::invalid_argument);
  EXPECT_THROW(describeRegions(labels, 3, 2, noiseImage(4, 2)), std::invalid_argument);
}

// The CSV files read back exactly: header, one line per row, shortest round-trip numbers.
TEST(RegionTable, CsvReadsBackExactly) {
  const cv::Mat image = noiseImage(20, 15, 8);
  const Result result = segment(image, Options{6, 0.5f});
  const std::vector<RegionRow> rows = describeRegions(result.labels, 20, 15, image);
  std::istringstream csv(regionsCsv(rows));
  std::string line;
  ASSERT_TRUE(std::getline(csv, line));
  EXPECT_EQ(line,
            "label,pixels,centroid_x,centroid_y,left,top,width,height,mean_red,mean_green,"
            "mean_blue,mean_l,mean_a,mean_b,cov_xx,cov_xy,cov_yy,cov_ll,cov_la,cov_lb,cov_aa,"
            "cov_ab,cov_bb");
  for (const RegionRow& row : rows) {
    ASSERT_TRUE(std::getline(csv, line));
    std::vector<double> values;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, ',');) {
      values.push_back(std::strtod(field.c_str(), nullptr));
    }
    ASSERT_EQ(values.size(), 23u) << line;
    EXPECT_EQ(values[0], row.label);
    EXPECT_EQ(values[2], row.centroidX) << line;
    EXPECT_EQ(values[10], row.meanBlue) << line;
    EXPECT_EQ(values[22], row.covBB) << line;
  }
  EXPECT_FALSE(std::getline(csv, line));

  const std::vector<AdjacentPair> pairs = {{0, 1, 12}, {0, 3, 1}, {2, 3, 40}};
  EXPECT_EQ(adjacencyCsv(pairs), "label_a,label_b,shared_edges\n0,1,12\n0,3,1\n2,3,40\n");
  // Without an image the colour fields are empty.
  const std::string plain = regionsCsv(describeRegions({5}, 1, 1));
  EXPECT_EQ(plain.substr(plain.find('\n') + 1), "5,1,0,0,0,0,1,1,,,,,,,0,0,0,,,,,,\n");
}

}  // namespace
}  // namespace superpixels::testing
