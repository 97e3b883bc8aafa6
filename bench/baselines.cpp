#include "baselines.hpp"

#include <chrono>
#include <cmath>
#include <map>

#include <opencv2/imgproc.hpp>
#include <opencv2/ximgproc.hpp>

#include "superpixels/io.hpp"

namespace superpixels::bench {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int regionSizeFor(int width, int height, int count) {
  const double size = std::sqrt(static_cast<double>(width) * height / count);
  return std::max(1, static_cast<int>(std::lround(size)));
}

BaselineRun runSlic(const cv::Mat& lab, int count) {
  BaselineRun run;
  const Clock::time_point start = Clock::now();
  const cv::Ptr<cv::ximgproc::SuperpixelSLIC> slic = cv::ximgproc::createSuperpixelSLIC(
      lab, cv::ximgproc::SLIC, regionSizeFor(lab.cols, lab.rows, count), 10.0f);
  slic->iterate(10);
  slic->enforceLabelConnectivity();
  slic->getLabels(run.labels);
  run.seconds = secondsSince(start);
  return run;
}

BaselineRun runLsc(const cv::Mat& lab, int count) {
  BaselineRun run;
  const Clock::time_point start = Clock::now();
  const cv::Ptr<cv::ximgproc::SuperpixelLSC> lsc =
      cv::ximgproc::createSuperpixelLSC(lab, regionSizeFor(lab.cols, lab.rows, count), 0.075f);
  lsc->iterate(10);
  lsc->enforceLabelConnectivity();
  lsc->getLabels(run.labels);
  run.seconds = secondsSince(start);
  return run;
}

BaselineRun runSeeds(const cv::Mat& bgr, int count) {
  BaselineRun run;
  const Clock::time_point start = Clock::now();
  cv::Mat hsv;
  cv::cvtColor(bgr, hsv, cv::COLOR_BGR2HSV);
  const cv::Ptr<cv::ximgproc::SuperpixelSEEDS> seeds =
      cv::ximgproc::createSuperpixelSEEDS(bgr.cols, bgr.rows, 3, count, 4, 2, 5, false);
  seeds->iterate(hsv, 4);
  seeds->getLabels(run.labels);
  run.seconds = secondsSince(start);
  return run;
}

std::string labelFileText(const cv::Mat& labels) {
  std::map<int, std::int32_t> compact;
  for (int y = 0; y < labels.rows; ++y) {
    const int* row = labels.ptr<int>(y);
    for (int x = 0; x < labels.cols; ++x) compact.emplace(row[x], 0);
  }
  std::int32_t next = 0;
  for (auto& entry : compact) entry.second = next++;
  Result result;
  result.width = labels.cols;
  result.height = labels.rows;
  result.labels.reserve(static_cast<std::size_t>(labels.total()));
  for (int y = 0; y < labels.rows; ++y) {
    const int* row = labels.ptr<int>(y);
    for (int x = 0; x < labels.cols; ++x) result.labels.push_back(compact[row[x]]);
  }
  result.regionCount = next;
  return labelText(result);
}

}  // namespace superpixels::bench
