// writeResults of the public I/O header.

#include <opencv2/imgcodecs.hpp>

#include "output/atomic_file.hpp"
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
                                      const Result& result) {
  std::vector<FileFailure> failures;
  const auto note = [&](const std::string& path, const WriteStatus& status) {
    if (!status.ok) failures.push_back({path, status.reason});
  };
  if (!files.boundaryImage.empty()) {
    note(files.boundaryImage, writePng(files.boundaryImage, boundaryImage(bgr, result.labels)));
  }
  if (!files.partitionImage.empty()) {
    note(files.partitionImage, writePng(files.partitionImage, partitionImage(result)));
  }
  if (!files.labels.empty()) {
    note(files.labels, writeFileAtomically(files.labels, labelText(result)));
  }
  if (!files.regions.empty()) {
    const std::string csv =
        regionsCsv(describeRegions(result.labels, result.width, result.height, bgr));
    note(files.regions, writeFileAtomically(files.regions, csv));
  }
  if (!files.adjacency.empty()) {
    const std::string csv = adjacencyCsv(adjacency(result.labels, result.width, result.height));
    note(files.adjacency, writeFileAtomically(files.adjacency, csv));
  }
  return failures;
}

}  // namespace superpixels
