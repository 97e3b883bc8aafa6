// writeResults of the public I/O header.

#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "image/png_structure.hpp"
#include "output/atomic_file.hpp"
#include "output/label_file.hpp"
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
                                      const Result& result, const std::string& record) {
  if (record.find('\0') != std::string::npos) {
    throw std::invalid_argument("the record of a result must not hold a NUL byte");
  }
  std::vector<FileFailure> failures;
  const auto note = [&](const std::string& path, const WriteStatus& status) {
    if (!status.ok) failures.push_back({path, status.reason});
  };
  // With a record, the label text is made first: the PNGs record its checksum.
  std::string labels;
  std::string recorded = record;
  if (!files.labels.empty() && !recorded.empty()) {
    labels = labelText(result);
    if (recorded.back() != '\n') recorded += '\n';
    recorded += "labels=" + labelChecksum(labels) + "\n";
  }
  if (!files.boundaryImage.empty()) {
    note(files.boundaryImage,
         writePng(files.boundaryImage, boundaryImage(bgr, result.labels), recorded));
  }
  if (!files.partitionImage.empty()) {
    note(files.partitionImage, writePng(files.partitionImage, partitionImage(result), recorded));
  }
  if (!files.labels.empty()) {
    if (labels.empty()) labels = labelText(result);
    note(files.labels, writeFileAtomically(files.labels, labels));
  }
  return failures;
}

}  // namespace superpixels
