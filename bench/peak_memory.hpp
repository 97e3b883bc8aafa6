#pragma once

#include <cstdint>
#include <string>

#include "superpixels/superpixels.hpp"

namespace superpixels::bench {

// Peak memory of one pipeline run, measured in a process of its own so that nothing else the
// benchmark did is counted.
struct MemoryFigures {
  bool ok = false;
  std::string problem;  // why there are no figures, when !ok
  std::int64_t pixels = 0;
  std::int64_t baselineBytes = 0;  // peak resident size before the image was read
  std::int64_t peakBytes = 0;      // peak resident size after the run
  // Growth of the peak beyond the decoded image and its Lab copy (3 bytes per pixel each), per
  // pixel.
  double bytesPerPixelBeyondImages() const {
    return pixels == 0 ? 0.0 : static_cast<double>(peakBytes - baselineBytes - 6 * pixels) / pixels;
  }
};

// The child's side: warms up the image library on a tiny image, records the peak resident size,
// runs the pipeline on `imagePath` writing into `outputBase`, and prints one line
// "memory pixels=N baseline=B peak=P" on standard output. Returns the process exit code.
int runMemoryProbe(const std::string& imagePath, const Options& options,
                   const std::string& outputBase);

// The parent's side: runs `self --memory imagePath count outputFolder/memory-probe --weight w` and
// parses its line.
MemoryFigures measureInChild(const std::string& self, const std::string& imagePath,
                             const Options& options, const std::string& outputFolder);

}  // namespace superpixels::bench
