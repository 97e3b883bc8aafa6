// Reproduces, bit for bit, the test vectors computed by an independent implementation: the label
// files after merging, after refinement and at the end, the figures of the run, and the two images.

#include <cstdlib>
#include <tuple>

#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>

#include "engine/pipeline.hpp"
#include "labelling/connectivity.hpp"
#include "parallel/simd_path.hpp"
#include "refine/refinement.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"
#include "superpixels/io.hpp"
#include "support/engine.hpp"
#include "support/files.hpp"

namespace superpixels::testing {
namespace {

struct GoldenCase {
  std::string name;
  fs::path folder;
};

// The vendored cases, plus those built from BSDS500 photos, which stay in the shared folder.
std::vector<GoldenCase> goldenCases() {
  std::vector<GoldenCase> cases;
  for (const fs::path& root : {testDataDir() / "golden", sharedDir() / "golden"}) {
    if (!fs::is_directory(root)) continue;
    for (const auto& entry : fs::directory_iterator(root)) {
      const std::string name = entry.path().filename().string();
      const bool vendored = root == testDataDir() / "golden";
      if (entry.is_directory() && (vendored || name.rfind("bsds-", 0) == 0)) {
        cases.push_back({name, entry.path()});
      }
    }
  }
  std::sort(cases.begin(), cases.end(),
            [](const GoldenCase& a, const GoldenCase& b) { return a.name < b.name; });
  return cases;
}

// Failures name the case, not its bytes.
void PrintTo(const GoldenCase& goldenCase, std::ostream* out) { *out << goldenCase.name; }

std::string labelFileOf(const SegmentationState& state) {
  Result result;
  result.width = state.image->width;
  result.height = state.image->height;
  result.labels = compactLabels(state);
  return labelText(result);
}

void expectSameImage(const fs::path& expectedPath, const cv::Mat& actual) {
  const cv::Mat expected = cv::imread(expectedPath.string(), cv::IMREAD_UNCHANGED);
  ASSERT_FALSE(expected.empty()) << expectedPath;
  ASSERT_EQ(expected.size(), actual.size()) << expectedPath;
  ASSERT_EQ(expected.type(), actual.type()) << expectedPath;
  for (int y = 0; y < expected.rows; ++y) {
    for (int x = 0; x < expected.cols; ++x) {
      ASSERT_EQ(expected.at<cv::Vec3b>(y, x), actual.at<cv::Vec3b>(y, x))
          << expectedPath << " first differing pixel at x=" << x << " y=" << y;
    }
  }
}

// Every case on every path refinement can mark border pixels with: the labels may not depend on
// it.
class Golden : public ::testing::TestWithParam<std::tuple<GoldenCase, SimdPath>> {};

TEST_P(Golden, EveryStageMatches) {
  const fs::path folder = std::get<0>(GetParam()).folder;
  const SimdPath path = std::get<1>(GetParam());
  if (!simdPathSupported(path)) GTEST_SKIP() << "this processor lacks " << simdPathName(path);
  const nlohmann::json job = nlohmann::json::parse(readFile(folder / "case.json"));
  const nlohmann::json trace = nlohmann::json::parse(readFile(folder / "trace.json"));
  const fs::path input =
      fs::exists(folder / "input.png") ? folder / "input.png" : folder / "input.jpg";

  const ImageFile file = readImage(input.string());
  ASSERT_TRUE(file.ok()) << input << ": " << file.error;
  const ImageData image = makeImageData(file.bgr);
  ASSERT_EQ(image.width, trace["width"].get<int>());
  ASSERT_EQ(image.height, trace["height"].get<int>());
  Options options;
  options.superpixelCount = job["count"].get<int>();
  options.weightFactor =
      static_cast<float>(std::strtod(job["weight"].get<std::string>().c_str(), nullptr));
  ASSERT_EQ(options.weightFactor, trace["weightFactor"].get<float>());

  SegmentationState state;
  state.simdPath = path;
  MergeData merge;
  setUpSegmentation(state, merge, image, options.superpixelCount, options.weightFactor);
  const Trace& figures = state.trace;
  EXPECT_EQ(figures.step, trace["step"].get<int>());
  EXPECT_EQ(figures.gridColumns, trace["gridColumns"].get<int>());
  EXPECT_EQ(figures.gridRows, trace["gridRows"].get<int>());
  EXPECT_EQ(figures.initialRegionCount, trace["initialRegionCount"].get<int>());
  EXPECT_EQ(figures.seededCandidates, trace["seededCandidates"].get<std::int64_t>());

  EXPECT_EQ(mergeToCount(state, merge, options.superpixelCount),
            trace["mergeReachedCount"].get<bool>());
  EXPECT_EQ(figures.mergedRegionCount, trace["mergedRegionCount"].get<int>());
  const std::string merged = readFile(folder / "labels_merged.txt");
  ASSERT_EQ(merged, labelFileOf(state))
      << "after merging, " << firstDifference(merged, labelFileOf(state));

  ASSERT_EQ(state.simdPath, path) << "the path asked for was not kept";
  refine(state);
  EXPECT_EQ(figures.sumColour, trace["sumColour"].get<double>());
  EXPECT_EQ(figures.sumSpatial, trace["sumSpatial"].get<double>());
  EXPECT_EQ(figures.balanceWeight, trace["balanceWeight"].get<double>());
  EXPECT_EQ(figures.initialProposals, trace["initialProposals"].get<std::int64_t>());
  EXPECT_EQ(figures.refinePasses, trace["refinePasses"].get<int>());
  EXPECT_EQ(figures.passEnergies, trace["passEnergies"].get<std::vector<double>>());
  EXPECT_EQ(figures.passMovesPending, trace["passMovesPending"].get<std::vector<std::int64_t>>());
  EXPECT_EQ(figures.passMovesApplied, trace["passMovesApplied"].get<std::vector<std::int64_t>>());
  EXPECT_EQ(figures.proposalsLeftAfterLastPass,
            trace["proposalsLeftAfterLastPass"].get<std::int64_t>());
  const std::string refined = readFile(folder / "labels_refined.txt");
  ASSERT_EQ(refined, labelFileOf(state))
      << "after refinement, " << firstDifference(refined, labelFileOf(state));

  enforceConnectivity(state);
  EXPECT_EQ(figures.dissolvedRegions, trace["dissolvedRegions"].get<int>());
  EXPECT_EQ(figures.keptWholeImageRegions, trace["keptWholeImageRegions"].get<int>());
  EXPECT_EQ(figures.finalRegionCount, trace["finalRegionCount"].get<int>());
  EXPECT_EQ(figures.activeRegions, trace["activeRegions"].get<std::vector<std::int32_t>>());

  const Result result = makeResult(state);
  const std::string final = readFile(folder / "labels.txt");
  ASSERT_EQ(final, labelText(result)) << "final, " << firstDifference(final, labelText(result));
  expectSameImage(folder / "boundary.png", boundaryImage(image.sourceImage, result.labels));
  expectSameImage(folder / "partition.png", partitionImage(result));
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, Golden,
    ::testing::Combine(::testing::ValuesIn(goldenCases()),
                       ::testing::Values(SimdPath::scalar, SimdPath::sse2, SimdPath::avx2)),
    [](const ::testing::TestParamInfo<std::tuple<GoldenCase, SimdPath>>& info) {
      std::string name = std::get<0>(info.param).name;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name + "_" + simdPathName(std::get<1>(info.param));
    });

TEST(GoldenData, VendoredCasesArePresent) {
  std::size_t vendored = 0;
  for (const GoldenCase& c : goldenCases()) vendored += c.name.rfind("bsds-", 0) != 0;
  EXPECT_GE(vendored, 17u);
  if (!fs::is_directory(sharedDir() / "golden")) {
    GTEST_SKIP() << "shared folder " << sharedDir() / "golden"
                 << " absent: the cases made from BSDS500 photos were not run";
  }
}

}  // namespace
}  // namespace superpixels::testing
