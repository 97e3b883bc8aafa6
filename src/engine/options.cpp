#include <cmath>
#include <sstream>

#include "superpixels/superpixels.hpp"

namespace superpixels {

std::string version() { return SUPERPIXELS_VERSION; }

OptionsCheck Options::check() const {
  OptionsCheck result;
  std::ostringstream problem;
  if (superpixelCount < 1) {
    result.field = OptionField::superpixelCount;
    problem << "superpixelCount is " << superpixelCount << ", must be at least 1";
  } else if (superpixelCount > maxSuperpixelCount) {
    result.field = OptionField::superpixelCount;
    problem << "superpixelCount is " << superpixelCount << ", must be at most "
            << maxSuperpixelCount;
  } else if (!std::isfinite(weightFactor) || weightFactor < 0.0f) {
    result.field = OptionField::weightFactor;
    problem << "weightFactor is " << weightFactor << ", must be finite and not negative";
  } else if (connectivity != 4 && connectivity != 8) {
    result.field = OptionField::connectivity;
    problem << "connectivity is " << connectivity << ", must be 4 or 8";
  } else if (threads < 0 || threads > maxThreads) {
    result.field = OptionField::threads;
    problem << "threads is " << threads << ", must be 0 (one per CPU) to " << maxThreads;
  }
  result.message = problem.str();
  return result;
}

bool Options::isValid(std::string* why) const {
  OptionsCheck result = check();
  if (!result.ok() && why != nullptr) *why = std::move(result.message);
  return result.ok();
}

}  // namespace superpixels
