#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "pipeline_timing.hpp"

namespace superpixels::bench {

// One photo at one count: our stages on one and on two threads and SLIC's time, each the fastest
// of the runs.
struct PhotoTiming {
  std::string name;
  PipelineTimes ours;     // one thread
  PipelineTimes oursTwo;  // two threads inside the image
  double slic = 0.0;      // one thread
  double ratio() const { return ours.total / slic; }
  double speedUp() const { return ours.total / oursTwo.total; }
};

// Median of the values (the mean of the middle two for an even number); 0 for none.
double median(std::vector<double> values);

// Medians over the photos of one count, the stages in milliseconds.
struct CountSummary {
  std::string label;  // e.g. "100 photos 481 x 321"
  int count = 0;
  std::size_t photos = 0;
  PipelineTimes medianOurs;     // median of every stage separately, in seconds, one thread
  PipelineTimes medianOursTwo;  // the same with two threads
  double medianSpeedUp = 0.0;   // median of the per-photo speed-ups of two threads over one
  double medianSlic = 0.0;      // seconds
  double medianRatio = 0.0;     // median of the per-photo ratios ours / SLIC
  double lowestRatio = 0.0;
  double highestRatio = 0.0;
  std::size_t photosAtMostSlic = 0;  // photos whose ratio is at most 1.0
};

CountSummary summarise(const std::string& label, int count, const std::vector<PhotoTiming>& rows);

// The line printed for one photo.
void printPhotoLine(std::ostream& out, int count, const PhotoTiming& row);

// The results tables in Markdown, one row per summary: one thread against SLIC, then one and two
// threads side by side.
void printTable(std::ostream& out, const std::vector<CountSummary>& summaries);

// "model name" of the first processor in /proc/cpuinfo and the number of hardware threads.
std::string machineDescription();

}  // namespace superpixels::bench
