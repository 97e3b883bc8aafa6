// writeResults of the public I/O header.

#include "output/write_results.hpp"

#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "image/png_structure.hpp"
#include "output/atomic_file.hpp"
#include "output/label_file.hpp"
#include "superpixels/describe.hpp"
#include "superpixels/io.hpp"

namespace superpixels {

namespace {

// Encodes `image` as PNG, with `record` (if any) in a text chunk after the header, and writes it.
WriteStatus writePng(const std::string& path, const cv::Mat& image, const std::string& record) {
  std::vector<std::uint8_t> bytes;
  try {
    if (!cv::imencode(".png", image, bytes)) return {false, "cannot encode PNG"};
  } catch (const cv::Exception& e) {
    return {false, "cannot encode PNG (" + e.msg + ")"};
  }
  const std::string_view png(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (record.empty()) return writeFileAtomically(path, png);
  const std::string recorded = withPngText(png, resultRecordKeyword, record);
  if (recorded.empty()) return {false, "cannot encode PNG (no header chunk)"};
  return writeFileAtomically(path, recorded);
}

}  // namespace

std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record,
                                      Executor* executor, int threads) {
  if (record.find('\0') != std::string::npos) {
    throw std::invalid_argument("the record of a result must not hold a NUL byte");
  }
  // With a record, the label text is made first: the PNGs record its checksum.
  std::string labels;
  std::string recorded = record;
  if (!files.labels.empty() && !recorded.empty()) {
    labels = labelText(result);
    if (recorded.back() != '\n') recorded += '\n';
    recorded += "labels=" + labelChecksum(labels) + "\n";
  }
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
        status = writePng(path, boundaryImage(bgr, result.labels), recorded);
        break;
      case 1:
        status = writePng(path, partitionImage(result), recorded);
        break;
      case 2:
        status = writeFileAtomically(path, labels.empty() ? labelText(result) : labels);
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
                                      const Result& result, const std::string& record) {
  return writeResults(files, bgr, result, record, nullptr, 1);
}

}  // namespace superpixels
