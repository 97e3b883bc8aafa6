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
  const auto stage = [&](double PipelineTimes::*field) {
    std::vector<double> values;
    for (const PhotoTiming& row : rows) values.push_back(row.ours.*field);
    return median(values);
  };
  PipelineTimes& m = summary.medianOurs;
  m.loadLab = stage(&PipelineTimes::loadLab);
  m.setUp = stage(&PipelineTimes::setUp);
  m.merging = stage(&PipelineTimes::merging);
  m.refinement = stage(&PipelineTimes::refinement);
  m.connectivity = stage(&PipelineTimes::connectivity);
  m.boundaryWriter = stage(&PipelineTimes::boundaryWriter);
  m.partitionWriter = stage(&PipelineTimes::partitionWriter);
  m.labelWriter = stage(&PipelineTimes::labelWriter);
  m.total = stage(&PipelineTimes::total);
  std::vector<double> slic, ratios;
  for (const PhotoTiming& row : rows) {
    slic.push_back(row.slic);
    ratios.push_back(row.ratio());
    if (row.ratio() <= 1.0) ++summary.photosAtMostSlic;
  }
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
      << milliseconds(t.boundaryWriter + t.partitionWriter + t.labelWriter) << "), SLIC "
      << milliseconds(row.slic) << " ms, ours/SLIC " << fixed(row.ratio(), 2) << std::endl;
}

void printTable(std::ostream& out, const std::vector<CountSummary>& summaries) {
  out << "| photos | count | load + Lab | set-up | merging | refinement | connectivity | "
         "boundary PNG | partition PNG | label file | whole pipeline | SLIC | ours / SLIC "
         "(median; range; photos at most 1.0) |\n"
         "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n";
  for (const CountSummary& s : summaries) {
    const PipelineTimes& m = s.medianOurs;
    out << "| " << s.label << " | " << s.count << " | " << milliseconds(m.loadLab) << " | "
        << milliseconds(m.setUp) << " | " << milliseconds(m.merging) << " | "
        << milliseconds(m.refinement) << " | " << milliseconds(m.connectivity) << " | "
        << milliseconds(m.boundaryWriter) << " | " << milliseconds(m.partitionWriter) << " | "
        << milliseconds(m.labelWriter) << " | **" << milliseconds(m.total) << "** | "
        << milliseconds(s.medianSlic) << " | **" << fixed(s.medianRatio, 2) << "**; "
        << fixed(s.lowestRatio, 2) << " - " << fixed(s.highestRatio, 2) << "; "
        << s.photosAtMostSlic << " of " << s.photos << " |\n";
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
