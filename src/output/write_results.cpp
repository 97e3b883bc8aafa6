// writeResults of the public I/O header.

#include "output/write_results.hpp"

#include <future>
#include <stdexcept>

#include "output/atomic_file.hpp"
#include "output/png_encoder.hpp"
#include "output/result_records.hpp"
#include "parallel/thread_pool_access.hpp"
#include "superpixels/describe.hpp"
#include "superpixels/io.hpp"

namespace superpixels {

namespace {

// The zlib stream of `image`'s PNG image data into `imageData`; the strips on `executor` by up
// to `threads` threads when given.
WriteStatus encodePng(const cv::Mat& image, Executor* executor, int threads,
                      std::string& imageData) {
  try {
    imageData = pngImageData(image, executor, threads);
  } catch (const std::invalid_argument& e) {
    return {false, std::string("cannot encode PNG (") + e.what() + ")"};
  }
  return {true, ""};
}

}  // namespace

std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record,
                                      ThreadPool* pool, int threads,
                                      std::array<FileIdentity, 5>* written) {
  if (record.find('\0') != std::string::npos) {
    throw std::invalid_argument("the record of a result must not hold a NUL byte");
  }
  const std::string* paths[] = {&files.boundaryImage, &files.partitionImage, &files.labels,
                                &files.regions, &files.adjacency};
  constexpr std::size_t fileCount = std::size(paths);
  enum { overlay, partition, labels, regions, adjacent };
  // Each file is made and written by a task of its own, side by side when there are threads for
  // it, and a PNG's strips are compressed side by side too (the PNGs take longest). With a record,
  // the PNGs record the checksums of the label text and of the tables: their tasks come first, and
  // tasks are handed out in order, so a PNG's task, which waits for them once its image is encoded,
  // waits only for tasks that have already begun. Failures are reported in the files' order.
  constexpr std::size_t taskFiles[] = {labels, regions, adjacent, overlay, partition};
  // The text files whose checksums the PNGs record, in the record's order, with their keys.
  constexpr std::size_t recordedFiles[] = {labels, regions, adjacent};
  constexpr const char* recordedKeys[] = {"labels", "regions", "adjacency"};
  std::promise<std::string> checksumPromises[std::size(recordedFiles)];
  std::shared_future<std::string> checksums[std::size(recordedFiles)];
  bool recorded[fileCount] = {};
  for (std::size_t k = 0; k < std::size(recordedFiles); ++k) {
    checksums[k] = checksumPromises[k].get_future().share();
    recorded[recordedFiles[k]] = !record.empty() && !paths[recordedFiles[k]]->empty();
  }
  static_assert(fileCount == std::tuple_size_v<std::array<FileIdentity, 5>>);
  WriteStatus statuses[fileCount];
  const auto pngWithRecord = [&](const cv::Mat& image, const char* role, WriteStatus& status) {
    std::string imageData;
    Executor* executor = pool != nullptr && threads > 1 ? &executorOf(*pool) : nullptr;
    status = encodePng(image, executor, threads, imageData);
    if (!status.ok) return std::string();
    if (record.empty()) return pngFile(image.cols, image.rows, imageData);
    // Ties this file to the others of the set and its own pixels: the tables and label file by
    // their checksums, its role (the overlay and the partition are of one size), and a checksum of
    // its compressed pixel data, which a reader checks without decoding.
    std::string text = record;
    if (text.back() != '\n') text += '\n';
    for (std::size_t k = 0; k < std::size(recordedFiles); ++k) {
      if (recorded[recordedFiles[k]]) {
        text.append(recordedKeys[k]).append("=").append(checksums[k].get()).append("\n");
      }
    }
    text.append("file=").append(role).append("\n");
    text.append("pixels=").append(checksum(imageData)).append("\n");
    return pngFile(image.cols, image.rows, imageData, resultRecordKeyword, text);
  };
  // Makes the text of a file whose checksum the PNGs record, and hands the checksum on.
  const auto recordedText = [&](std::size_t file, const auto& make) {
    std::size_t k = 0;
    while (recordedFiles[k] != file) ++k;
    try {
      std::string bytes = make();
      if (recorded[file]) checksumPromises[k].set_value(checksum(bytes));
      return bytes;
    } catch (...) {
      if (recorded[file]) checksumPromises[k].set_exception(std::current_exception());
      throw;
    }
  };
  const auto task = [&](std::int64_t index) {
    const std::size_t file = taskFiles[index];
    const std::string& path = *paths[file];
    if (path.empty()) return;
    WriteStatus& status = statuses[file];
    std::string bytes;
    switch (file) {
      case labels:
        bytes = recordedText(file, [&] { return labelText(result); });
        break;
      case overlay:
        bytes = pngWithRecord(boundaryImage(bgr, result.labels), "overlay", status);
        if (!status.ok) return;
        break;
      case partition:
        bytes = pngWithRecord(partitionImage(result), "partition", status);
        if (!status.ok) return;
        break;
      case regions:
        bytes = recordedText(file, [&] {
          return regionsCsv(describeRegions(result.labels, result.width, result.height, bgr));
        });
        break;
      default:
        bytes = recordedText(file, [&] {
          return adjacencyCsv(adjacency(result.labels, result.width, result.height));
        });
        break;
    }
    status = writeFileAtomically(path, bytes, written != nullptr ? &(*written)[file] : nullptr);
  };
  if (pool == nullptr || threads <= 1) {
    for (std::size_t index = 0; index < fileCount; ++index) task(index);
  } else {
    executorOf(*pool).run(fileCount, threads, task);
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

std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record,
                                      ThreadPool& pool) {
  return writeResults(files, bgr, result, record, &pool, pool.threads());
}

std::vector<FileFailure> writeResultsTogether(const ResultFiles& files, const cv::Mat& bgr,
                                              const Result& result, const std::string& record,
                                              ThreadPool* pool, int threads) {
  if (record.empty()) {
    throw std::invalid_argument("results written together need a record that ties them");
  }
  constexpr int maxAttempts = 5;
  const std::string* paths[] = {&files.boundaryImage, &files.partitionImage, &files.labels,
                                &files.regions, &files.adjacency};
  for (int attempt = 1;; ++attempt) {
    std::array<FileIdentity, 5> written;
    std::vector<FileFailure> failures =
        writeResults(files, bgr, result, record, pool, threads, &written);
    if (!failures.empty()) return failures;
    bool ownFiles = true;
    for (std::size_t file = 0; file < written.size(); ++file) {
      ownFiles = ownFiles && (paths[file]->empty() || identityOf(*paths[file]) == written[file]);
    }
    if (ownFiles || resultsBelongTogether(files)) return {};
    if (attempt == maxAttempts) {
      return {{files.boundaryImage, "results replaced by another run writing this image at the "
                                    "same time, " + std::to_string(maxAttempts) +
                                        " times; they may not belong together"}};
    }
  }
}

std::vector<FileFailure> writeResultsTogether(const ResultFiles& files, const cv::Mat& bgr,
                                              const Result& result, const std::string& record,
                                              ThreadPool& pool, int threads) {
  return writeResultsTogether(files, bgr, result, record, &pool,
                              threads == 0 ? pool.threads() : threads);
}

}  // namespace superpixels
