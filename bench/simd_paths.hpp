#pragma once

#include "bench_options.hpp"

namespace superpixels::bench {

// Times every stage of the pipeline on the photos, for one and two threads and every SIMD path
// the processor runs (scalar, SSE2, AVX2), all runs of a photo interleaved with SLIC's, and prints
// the medians with the ratios to the scalar path and to SLIC. Returns the exit code.
int measureSimdPaths(const BenchOptions& bench);

}  // namespace superpixels::bench
