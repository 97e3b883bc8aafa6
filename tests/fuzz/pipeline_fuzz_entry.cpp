// libFuzzer entry point of superpixels_fuzz.

#include <cstdio>
#include <cstdlib>

#include "pipeline_fuzz.hpp"

// libFuzzer's entry point: a broken invariant aborts, so the fuzzer keeps the input as a crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace superpixels::fuzz;
  const FuzzCase fuzzCase = decodeCase(data, size);
  const std::string problem = checkPipeline(fuzzCase);
  if (!problem.empty()) {
    std::fprintf(stderr, "invariant broken (%d x %d, count %d, weight %.9g): %s\n",
                 fuzzCase.image.cols, fuzzCase.image.rows, fuzzCase.options.superpixelCount,
                 static_cast<double>(fuzzCase.options.weightFactor), problem.c_str());
    std::abort();
  }
  return 0;
}
