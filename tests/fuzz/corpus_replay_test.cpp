// Replays every input the fuzzer kept (tests/fuzz/corpus) through the fuzz target's checks, so the
// ordinary build guards its findings without clang.

#include <algorithm>
#include <vector>

#include "pipeline_fuzz.hpp"
#include "test_support.hpp"

namespace superpixels::testing {
namespace {

TEST(FuzzCorpus, EveryKeptInputPassesThePipelineChecks) {
  const fs::path corpus = fs::path(SUPERPIXELS_TEST_SOURCE_DIR) / "fuzz" / "corpus";
  std::vector<fs::path> inputs;
  for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
    inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty()) << "corpus missing in " << corpus;
  for (const fs::path& input : inputs) {
    const std::string bytes = readFile(input);
    const fuzz::FuzzCase fuzzCase =
        fuzz::decodeCase(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(fuzz::checkPipeline(fuzzCase), "")
        << input.filename() << ": " << fuzzCase.image.cols << " x " << fuzzCase.image.rows
        << ", count " << fuzzCase.options.superpixelCount << ", weight "
        << fuzzCase.options.weightFactor;
  }
}

}  // namespace
}  // namespace superpixels::testing
