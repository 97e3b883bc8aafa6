#include <cmath>
#include <sstream>

#include "superpixels/superpixels.hpp"

namespace superpixels {

std::string version() { return SUPERPIXELS_VERSION; }

bool Options::isValid(std::string* why) const {
  std::ostringstream problem;
  if (superpixelCount < 1) {
    problem << "superpixelCount is " << superpixelCount << ", must be at least 1";
  } else if (superpixelCount > maxSuperpixelCount) {
    problem << "superpixelCount is " << superpixelCount << ", must be at most "
            << maxSuperpixelCount;
  } else if (!std::isfinite(weightFactor) || weightFactor < 0.0f) {
    problem << "weightFactor is " << weightFactor << ", must be finite and not negative";
  } else {
    return true;
  }
  if (why != nullptr) *why = problem.str();
  return false;
}

}  // namespace superpixels
