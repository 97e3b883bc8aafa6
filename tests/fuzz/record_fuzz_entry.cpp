// libFuzzer entry point of superpixels_record_fuzz.

#include <cstdio>
#include <cstdlib>

#include "record_fuzz.hpp"

// A broken invariant aborts, so the fuzzer keeps the input as a crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = superpixels::fuzz::checkRecord(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
