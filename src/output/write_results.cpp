// writeResults of the public I/O header.

#include "output/write_results.hpp"

#include <future>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "image/png_structure.hpp"
#include "output/atomic_file.hpp"
#include "output/label_file.hpp"
#include "superpixels/describe.hpp"
#include "superpixels/io.hpp"

namespace superpixels {

namespace {

// `image` encoded as PNG into `bytes`.
WriteStatus encodePng(const cv::Mat& image, std::vector<std::uint8_t>& bytes) {
  try {
    if (!cv::imencode(".png", image, bytes)) return {false, "cannot encode PNG"};
  } catch (const cv::Exception& e) {
    return {false, "cannot encode PNG (" + e.msg + ")"};
  }
  return {true, ""};
}

}  // namespace

std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record,
                                      Executor* executor, int threads) {
  if (record.find('\0') != std::string::npos) {
    throw std::invalid_argument("the record of a result must not hold a NUL byte");
  }
  const std::string* paths[] = {&files.boundaryImage, &files.partitionImage, &files.labels,
                                &files.regions, &files.adjacency};
  constexpr std::size_t fileCount = std::size(paths);
  enum { overlay, partition, labels, regions, adjacent };
  // Each file is made and written by a task of its own, side by side when there are threads for
  // it (the overlay's PNG encoding takes longest: 0.44 s of a 12 MP photo's 0.6 s). With a record,
  // the PNGs record the label text's checksum: the label file's task comes first, and tasks are
  // handed out in order, so a PNG's task waits only for a task that has already begun. Failures
  // are reported in the files' order.
  constexpr std::size_t taskFiles[] = {labels, overlay, partition, regions, adjacent};
  const bool checksummed = !record.empty() && !files.labels.empty();
  std::promise<std::string> checksumPromise;
  const std::shared_future<std::string> checksum = checksumPromise.get_future().share();
  WriteStatus statuses[fileCount];
  const auto pngWithRecord = [&](const cv::Mat& image, WriteStatus& status) {
    std::vector<std::uint8_t> encoded;
    status = encodePng(image, encoded);
    const std::string_view png(reinterpret_cast<const char*>(encoded.data()), encoded.size());
    if (!status.ok || record.empty()) return std::string(png);
    std::string recorded = record;
    if (recorded.back() != '\n') recorded += '\n';
    if (checksummed) recorded += "labels=" + checksum.get() + "\n";
    std::string bytes = withPngText(png, resultRecordKeyword, recorded);
    if (bytes.empty()) status = {false, "cannot encode PNG (no header chunk)"};
    return bytes;
  };
  const auto task = [&](std::int64_t index) {
    const std::size_t file = taskFiles[index];
    const std::string& path = *paths[file];
    if (path.empty()) return;
    WriteStatus& status = statuses[file];
    std::string bytes;
    switch (file) {
      case labels:
        try {
          bytes = labelText(result);
          if (checksummed) checksumPromise.set_value(labelChecksum(bytes));
        } catch (...) {
          if (checksummed) checksumPromise.set_exception(std::current_exception());
          throw;
        }
        break;
      case overlay:
        bytes = pngWithRecord(boundaryImage(bgr, result.labels), status);
        if (!status.ok) return;
        break;
      case partition:
        bytes = pngWithRecord(partitionImage(result), status);
        if (!status.ok) return;
        break;
      case regions:
        bytes = regionsCsv(describeRegions(result.labels, result.width, result.height, bgr));
        break;
      default:
        bytes = adjacencyCsv(adjacency(result.labels, result.width, result.height));
        break;
    }
    status = writeFileAtomically(path, bytes);
  };
  if (executor == nullptr || threads <= 1) {
    for (std::size_t index = 0; index < fileCount; ++index) task(index);
  } else {
    executor->run(fileCount, threads, task);
  }
  std::vector<FileFailure> failures;
  for (std::size_t file = 0; file < fileCount; ++file) {
    if (!paths[file]->empty() && !statuses[file].ok) {
      failures.push_back({*paths[file], statuses[file].reason});
    }
  }
  return failures;
}

std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record) {
  return writeResults(files, bgr, result, record, nullptr, 1);
}

}  // namespace superpixels
