// Replays every input the fuzzers kept (tests/fuzz/*_corpus) through the fuzz targets' checks, so
// the ordinary build guards their findings without clang.

#include <algorithm>
#include <vector>

#include "header_fuzz.hpp"
#include "pipeline_fuzz.hpp"
#include "record_fuzz.hpp"
#include "support/files.hpp"

namespace superpixels::testing {
namespace {

// The files of tests/fuzz/<name>, sorted, with their contents.
std::vector<std::pair<fs::path, std::string>> corpus(const std::string& name) {
  const fs::path folder = fs::path(SUPERPIXELS_TEST_SOURCE_DIR) / "fuzz" / name;
  std::vector<std::pair<fs::path, std::string>> inputs;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    inputs.emplace_back(entry.path(), readFile(entry.path()));
  }
  std::sort(inputs.begin(), inputs.end());
  EXPECT_FALSE(inputs.empty()) << "corpus missing in " << folder;
  return inputs;
}

const std::uint8_t* bytesOf(const std::string& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

TEST(FuzzCorpus, EveryKeptPipelineInputPassesThePipelineChecks) {
  for (const auto& [path, bytes] : corpus("pipeline_corpus")) {
    const fuzz::FuzzCase fuzzCase = fuzz::decodeCase(bytesOf(bytes), bytes.size());
    EXPECT_EQ(fuzz::checkPipeline(fuzzCase), "")
        << path.filename() << ": " << fuzzCase.image.cols << " x " << fuzzCase.image.rows
        << ", count " << fuzzCase.options.superpixelCount << ", weight "
        << fuzzCase.options.weightFactor;
  }
}

TEST(FuzzCorpus, EveryKeptHeaderInputPassesTheHeaderChecks) {
  for (const auto& [path, bytes] : corpus("header_corpus")) {
    EXPECT_EQ(fuzz::checkHeader(bytesOf(bytes), bytes.size()), "") << path.filename();
  }
}

TEST(FuzzCorpus, EveryKeptRecordInputPassesTheRecordChecks) {
  for (const auto& [path, bytes] : corpus("record_corpus")) {
    EXPECT_EQ(fuzz::checkRecord(bytesOf(bytes), bytes.size()), "") << path.filename();
  }
}

}  // namespace
}  // namespace superpixels::testing
