#pragma once

#include <string>
#include <vector>

namespace superpixels::bench {

// Wall-clock seconds of whole runs of the tool over one folder, with --jobs 1 and --jobs 2 run
// alternately, and the images per second of each.
struct JobsScaling {
  bool ok = false;
  std::string problem;  // why there are no figures, when !ok
  int images = 0;
  std::vector<double> oneJob;   // seconds per run
  std::vector<double> twoJobs;  // seconds per run
};

// Runs `tool --jobs J imagesFolder <temp> count weight` `rounds` times for J = 1 and 2 in turn,
// standard output discarded.
JobsScaling measureJobsScaling(const std::string& tool, const std::string& imagesFolder, int count,
                               float weight, int rounds, const std::string& tempFolder);

}  // namespace superpixels::bench
