// The result pictures' PNG encoder against cv::imencode, which wrote them up to version 1.1.

#include "png_encoding.hpp"

#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "fastest.hpp"
#include "output/png_encoder.hpp"
#include "parallel/thread_pool_access.hpp"
#include "report.hpp"
#include "superpixels/io.hpp"

namespace superpixels::bench {

PngEncoding measurePngEncoding(const cv::Mat& bgr, const Options& options, int repeat,
                               ThreadPool& pool) {
  const Result result = segment(bgr, options);
  const cv::Mat pictures[] = {boundaryImage(bgr, result.labels), partitionImage(result)};
  PngEncoding row;
  std::vector<std::uint8_t> old;
  const auto encodeOld = [&] {
    row.oldBytes = 0;
    for (const cv::Mat& picture : pictures) {
      if (!cv::imencode(".png", picture, old)) throw std::runtime_error("cannot encode PNG");
      row.oldBytes += old.size();
    }
  };
  std::string files[2];
  const auto encodeNew = [&](Executor* executor, int threads) {
    const auto encode = [&](std::int64_t k) {
      const cv::Mat& picture = pictures[k];
      files[k] = pngFile(picture.cols, picture.rows, pngImageData(picture, executor, threads));
    };
    // As writeResults does: the pictures side by side, and each one's strips too.
    if (executor != nullptr) {
      executor->run(2, threads, encode);
    } else {
      encode(0);
      encode(1);
    }
    row.newBytes = static_cast<double>(files[0].size() + files[1].size());
  };
  encodeNew(nullptr, 1);
  for (int k = 0; k < 2; ++k) {
    const cv::Mat decoded = cv::imdecode(
        cv::Mat(1, static_cast<int>(files[k].size()), CV_8U, files[k].data()), cv::IMREAD_COLOR);
    if (decoded.size() != pictures[k].size() || cv::norm(decoded, pictures[k], cv::NORM_INF) != 0) {
      throw std::runtime_error("the PNG encoder changed the pixels");
    }
  }
  // Alternately, so that all three see the same state of the machine.
  for (int r = 0; r < repeat; ++r) {
    const double oldSeconds = fastest(1, encodeOld);
    const double newSeconds = fastest(1, [&] { encodeNew(nullptr, 1); });
    const double twoSeconds = fastest(1, [&] { encodeNew(&executorOf(pool), 2); });
    row.oldSeconds = r == 0 ? oldSeconds : std::min(row.oldSeconds, oldSeconds);
    row.newSeconds = r == 0 ? newSeconds : std::min(row.newSeconds, newSeconds);
    row.newTwoSeconds = r == 0 ? twoSeconds : std::min(row.newTwoSeconds, twoSeconds);
  }
  return row;
}

void printPngEncoding(std::ostream& out, const std::string& label,
                      const std::vector<PngEncoding>& rows, bool header) {
  std::vector<double> oldTimes, newTimes, twoTimes, oldBytes, newBytes, timeRatios, twoRatios,
      byteRatios;
  for (const PngEncoding& row : rows) {
    oldTimes.push_back(row.oldSeconds);
    newTimes.push_back(row.newSeconds);
    twoTimes.push_back(row.newTwoSeconds);
    oldBytes.push_back(row.oldBytes);
    newBytes.push_back(row.newBytes);
    timeRatios.push_back(row.newSeconds / row.oldSeconds);
    twoRatios.push_back(row.newTwoSeconds / row.oldSeconds);
    byteRatios.push_back(row.newBytes / row.oldBytes);
  }
  if (header) {
    out << "| images | cv::imencode | ours, 1 thread | ratio | ours, 2 threads | ratio | bytes, "
           "cv::imencode | bytes, ours | ratio |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  }
  out << "| " << label << " | " << median(oldTimes) * 1e3 << " ms | " << median(newTimes) * 1e3
      << " ms | **" << median(timeRatios) << "** | " << median(twoTimes) * 1e3 << " ms | **"
      << median(twoRatios) << "** | " << median(oldBytes) << " | " << median(newBytes) << " | **"
      << median(byteRatios) << "** |" << std::endl;
}

}  // namespace superpixels::bench
