#pragma once

namespace superpixels {

// The instruction sets refinement marks border pixels with, several pixels at a time (comparisons
// of labels: exact on every path, so every path gives the same labels).
enum class SimdPath {
  scalar,  // one pixel at a time: any processor
  sse2,    // four at a time: every x86-64 processor
  avx2,    // eight at a time
};

// The fastest path this processor runs: a pure function of the processor (no setting to change).
SimdPath detectedSimdPath();

// Whether this processor (and this build) can run `path`.
bool simdPathSupported(SimdPath path);

// "scalar", "sse2" or "avx2".
const char* simdPathName(SimdPath path);

}  // namespace superpixels
