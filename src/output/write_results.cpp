// writeResults of the public I/O header.

#include <opencv2/imgcodecs.hpp>

#include "output/atomic_file.hpp"
#include "output/write_results.hpp"
#include "superpixels/describe.hpp"
#include "superpixels/io.hpp"

namespace superpixels {

namespace {

WriteStatus writePng(const std::string& path, const cv::Mat& image) {
  std::vector<std::uint8_t> bytes;
  try {
    if (!cv::imencode(".png", image, bytes)) return {false, "cannot encode PNG"};
  } catch (const cv::Exception& e) {
    return {false, "cannot encode PNG (" + e.msg + ")"};
  }
  return writeFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, Executor* executor, int threads) {
  // The files are independent: each is made and written by a task of its own, side by side when
  // there are threads for it, and the failures are reported in the files' order.
  const std::string* paths[] = {&files.boundaryImage, &files.partitionImage, &files.labels,
                                &files.regions, &files.adjacency};
  WriteStatus statuses[std::size(paths)];
  const auto write = [&](std::int64_t file) {
    const std::string& path = *paths[file];
    if (path.empty()) return;
    WriteStatus& status = statuses[file];
    switch (file) {
      case 0:
        status = writePng(path, boundaryImage(bgr, result.labels));
        break;
      case 1:
        status = writePng(path, partitionImage(result));
        break;
      case 2:
        status = writeFileAtomically(path, labelText(result));
        break;
      case 3:
        status = writeFileAtomically(
            path, regionsCsv(describeRegions(result.labels, result.width, result.height, bgr)));
        break;
      default:
        status = writeFileAtomically(
            path, adjacencyCsv(adjacency(result.labels, result.width, result.height)));
        break;
    }
  };
  const std::int64_t count = static_cast<std::int64_t>(std::size(paths));
  if (executor == nullptr || threads <= 1) {
    for (std::int64_t file = 0; file < count; ++file) write(file);
  } else {
    executor->run(count, threads, write);
  }
  std::vector<FileFailure> failures;
  for (std::size_t file = 0; file < std::size(paths); ++file) {
    if (!paths[file]->empty() && !statuses[file].ok) {
      failures.push_back({*paths[file], statuses[file].reason});
    }
  }
  return failures;
}

std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result) {
  return writeResults(files, bgr, result, nullptr, 1);
}

}  // namespace superpixels
