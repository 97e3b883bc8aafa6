#pragma once

#include <string>
#include <vector>

namespace superpixels::bench {

// Wall-clock seconds of whole runs of the tool over one folder, the settings run in turn: one image
// at a time on one thread (--jobs 1 --threads 1), two images side by side on one thread each
// (--jobs 2 --threads 1), and the defaults (every core, images side by side and spare workers
// helping the images still running).
struct JobsScaling {
  bool ok = false;
  std::string problem;  // why there are no figures, when !ok
  int images = 0;
  std::vector<double> oneJob;    // seconds per run
  std::vector<double> twoJobs;   // seconds per run
  std::vector<double> defaults;  // seconds per run
};

// Runs `tool [settings] imagesFolder <temp> count weight` `rounds` times for each of the settings
// above in turn, standard output discarded.
JobsScaling measureJobsScaling(const std::string& tool, const std::string& imagesFolder, int count,
                               float weight, int rounds, const std::string& tempFolder);

}  // namespace superpixels::bench
