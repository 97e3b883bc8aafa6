#include "report.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>

namespace superpixels::bench {

namespace {

std::string milliseconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds * 1000.0);
  return text;
}

std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

CountSummary summarise(const std::string& label, int count, const std::vector<PhotoTiming>& rows) {
  CountSummary summary;
  summary.label = label;
  summary.count = count;
  summary.photos = rows.size();
  const auto medians = [&](PipelineTimes PhotoTiming::*run) {
    const auto stage = [&](double PipelineTimes::*field) {
      std::vector<double> values;
      for (const PhotoTiming& row : rows) values.push_back(row.*run.*field);
      return median(values);
    };
    PipelineTimes m;
    m.loadLab = stage(&PipelineTimes::loadLab);
    m.setUp = stage(&PipelineTimes::setUp);
    m.merging = stage(&PipelineTimes::merging);
    m.refinement = stage(&PipelineTimes::refinement);
    m.connectivity = stage(&PipelineTimes::connectivity);
    m.writers = stage(&PipelineTimes::writers);
    m.total = stage(&PipelineTimes::total);
    return m;
  };
  summary.medianOurs = medians(&PhotoTiming::ours);
  summary.medianOursTwo = medians(&PhotoTiming::oursTwo);
  std::vector<double> slic, ratios, speedUps;
  for (const PhotoTiming& row : rows) {
    slic.push_back(row.slic);
    ratios.push_back(row.ratio());
    speedUps.push_back(row.speedUp());
    if (row.ratio() <= 1.0) ++summary.photosAtMostSlic;
  }
  summary.medianSpeedUp = median(speedUps);
  summary.medianSlic = median(slic);
  summary.medianRatio = median(ratios);
  if (!ratios.empty()) {
    summary.lowestRatio = *std::min_element(ratios.begin(), ratios.end());
    summary.highestRatio = *std::max_element(ratios.begin(), ratios.end());
  }
  return summary;
}

void printPhotoLine(std::ostream& out, int count, const PhotoTiming& row) {
  const PipelineTimes& t = row.ours;
  out << row.name << " count " << count << ": ours " << milliseconds(t.total) << " ms (load+Lab "
      << milliseconds(t.loadLab) << ", set-up " << milliseconds(t.setUp) << ", merging "
      << milliseconds(t.merging) << ", refinement " << milliseconds(t.refinement)
      << ", connectivity " << milliseconds(t.connectivity) << ", writers "
      << milliseconds(t.writers) << "), two threads " << milliseconds(row.oursTwo.total) << " ms (x"
      << fixed(row.speedUp(), 2) << "), SLIC " << milliseconds(row.slic) << " ms, ours/SLIC "
      << fixed(row.ratio(), 2) << std::endl;
}

void printTable(std::ostream& out, const std::vector<CountSummary>& summaries) {
  const auto stages = [&](const PipelineTimes& m) {
    out << milliseconds(m.loadLab) << " | " << milliseconds(m.setUp) << " | "
        << milliseconds(m.merging) << " | " << milliseconds(m.refinement) << " | "
        << milliseconds(m.connectivity) << " | " << milliseconds(m.writers) << " | **"
        << milliseconds(m.total) << "** |";
  };
  out << "One thread, against SLIC:\n\n"
         "| photos | count | load + Lab | set-up | merging | refinement | connectivity | "
         "writers | whole pipeline | SLIC | ours / SLIC (median; range; photos at most 1.0) |\n"
         "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n";
  for (const CountSummary& s : summaries) {
    out << "| " << s.label << " | " << s.count << " | ";
    stages(s.medianOurs);
    out << " " << milliseconds(s.medianSlic) << " | **" << fixed(s.medianRatio, 2) << "**; "
        << fixed(s.lowestRatio, 2) << " - " << fixed(s.highestRatio, 2) << "; "
        << s.photosAtMostSlic << " of " << s.photos << " |\n";
  }
  out << "\nThreads inside one image, side by side with the runs above:\n\n"
         "| photos | count | threads | load + Lab | set-up | merging | refinement | "
         "connectivity | writers | whole pipeline | speed-up (median) |\n"
         "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const CountSummary& s : summaries) {
    out << "| " << s.label << " | " << s.count << " | 1 | ";
    stages(s.medianOurs);
    out << " |\n| " << s.label << " | " << s.count << " | 2 | ";
    stages(s.medianOursTwo);
    out << " **" << fixed(s.medianSpeedUp, 2) << "** |\n";
  }
  out << "\nTimes in milliseconds, medians over the photos of the fastest of the runs of each "
         "photo.\n";
}

std::string machineDescription() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line, model = "unknown processor";
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) {
      const std::size_t colon = line.find(':');
      if (colon != std::string::npos) model = line.substr(colon + 2);
      break;
    }
  }
  return model + ", " + std::to_string(std::thread::hardware_concurrency()) + " hardware threads";
}

}  // namespace superpixels::bench
