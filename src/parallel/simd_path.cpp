#include "parallel/simd_path.hpp"

namespace superpixels {

bool simdPathSupported(SimdPath path) {
  switch (path) {
    case SimdPath::scalar:
      return true;
#if defined(__x86_64__)
    case SimdPath::sse2:
      return true;
    case SimdPath::avx2:
      // libgcc's check includes the operating system's support of the wide registers.
      return __builtin_cpu_supports("avx2");
#else
    case SimdPath::sse2:
    case SimdPath::avx2:
      return false;
#endif
  }
  return false;
}

SimdPath detectedSimdPath() {
  if (simdPathSupported(SimdPath::avx2)) return SimdPath::avx2;
  if (simdPathSupported(SimdPath::sse2)) return SimdPath::sse2;
  return SimdPath::scalar;
}

const char* simdPathName(SimdPath path) {
  switch (path) {
    case SimdPath::scalar:
      return "scalar";
    case SimdPath::sse2:
      return "sse2";
    case SimdPath::avx2:
      return "avx2";
  }
  return "scalar";
}

}  // namespace superpixels
