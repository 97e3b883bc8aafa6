#include "batch.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "folder_walk.hpp"
#include "output_tree.hpp"
#include "progress.hpp"
#include "settings_record.hpp"
#include "superpixels/io.hpp"

namespace superpixels {

namespace {

enum class ImageStatus { written, skipped, failed };

// For every image, the first one in walk order that writes the same result files ("photo.jpg" for
// "photo.png"), or `noEarlierImage`. Only the first is segmented: each later one would silently
// replace its results, so it is an error of its own.
constexpr std::size_t noEarlierImage = static_cast<std::size_t>(-1);

std::vector<std::size_t> firstImagesWithSameResults(const std::vector<WalkEntry>& images) {
  std::vector<std::size_t> earlier(images.size(), noEarlierImage);
  std::unordered_map<std::string, std::size_t> firstWithBase;
  for (std::size_t index = 0; index < images.size(); ++index) {
    const auto [place, first] = firstWithBase.try_emplace(images[index].relativeBase, index);
    if (!first) earlier[index] = place->second;
  }
  return earlier;
}

// Leaves out the images that are the mask of another image of the walk: with the masks kept
// beside the photos (`--masks` naming INPUT itself), "photo.png" is read as the mask of
// "photo.jpg" and is not segmented as a photo of its own. Files are compared as the system
// knows them (device and inode), whatever the spelling of their paths.
void leaveOutMasks(std::vector<WalkEntry>& images, const std::string& masksFolder) {
  if (masksFolder.empty()) return;
  using FileId = std::pair<dev_t, ino_t>;
  const auto idOf = [](const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? FileId{info.st_dev, info.st_ino} : FileId{};
  };
  std::set<FileId> masks;
  std::vector<FileId> ids;
  for (const WalkEntry& image : images) {
    ids.push_back(idOf(image.fullPath));
    const FileId mask = idOf(masksFolder + image.relativeBase + ".png");
    if (mask != FileId{} && mask != ids.back()) masks.insert(mask);
  }
  std::size_t index = 0;
  std::erase_if(images, [&](const WalkEntry&) { return masks.count(ids[index++]) > 0; });
}

// Segments one image and writes its results; failures are reported on `err`.
ImageStatus processImage(const WalkEntry& entry, const RunOptions& options, const OutputTree& tree,
                         const std::string& settings, ThreadPool& pool, std::ostream& out,
                         std::ostream& err) {
  const ResultFiles files = tree.resultFiles(entry.relativeBase, options.writeRegions);
  // Files are read only when regular, and whole only up to the size an image within --max-pixels
  // can take: a FIFO or a device in their place would block the run or fill its memory.
  // With masks, the image's record tells its mask too.
  std::string record = settings;
  const std::string maskRelative = entry.relativeBase + ".png";
  const std::string maskPath = options.masksFolder + maskRelative;
  if (!options.masksFolder.empty()) {
    // A mask that cannot be opened is reported by readMask below, in its words (or is none).
    const FileBytes maskBytes = readImageBytes(maskPath, options.maxPixels);
    if (!maskBytes.ok && maskBytes.systemError == 0) {
      err << maskPath << ": " << maskBytes.error << "\n";
      return ImageStatus::failed;
    }
    record += maskLine(maskRelative, maskBytes.ok, maskBytes.bytes);
  }
  {
    const FileBytes input = readImageBytes(entry.fullPath, options.maxPixels);
    if (!input.ok) {
      // A file that cannot be opened is reported in the decoder's words, as it always was.
      const std::string why =
          input.systemError != 0 ? readImage(entry.fullPath, options.maxPixels).error : "";
      err << entry.fullPath << ": " << (why.empty() ? input.error : why) << "\n";
      return ImageStatus::failed;
    }
    record += inputLine(input.bytes);
  }
  if (options.skipExisting && resultsComplete(files, record)) return ImageStatus::skipped;

  const ImageFile image = readImage(entry.fullPath, options.maxPixels);
  if (!image.ok()) {
    err << entry.fullPath << ": " << image.error << "\n";
    return ImageStatus::failed;
  }
  cv::Mat mask;
  if (!options.masksFolder.empty()) {
    MaskFile maskFile = readMask(maskPath, options.maxPixels);
    if (maskFile.ok() && maskFile.mask.size() != image.bgr.size()) {
      maskFile.error = "mask is " + std::to_string(maskFile.mask.cols) + " x " +
                       std::to_string(maskFile.mask.rows) + " pixels, the image " +
                       std::to_string(image.bgr.cols) + " x " + std::to_string(image.bgr.rows);
    }
    if (!maskFile.ok() && maskFile.systemError != ENOENT) {
      err << maskPath << ": " << maskFile.error << "\n";
      return ImageStatus::failed;
    }
    mask = maskFile.mask;  // none: the image is segmented whole
  }
  out << "reading  " << entry.fullPath << "...\n";
  // Bounded by the threads asked for, not by the pool's own: workers with no image left lend
  // themselves to it.
  Options segmentation = options.segmentation;
  segmentation.threads = ThreadPool::threadsFor(segmentation.threads);
  const Result result = segment(image.bgr, segmentation, pool, mask);
  out << "save superpixel to " << files.boundaryImage << "\n";
  // Another run may write this image's results at the same time (shards of one dataset that
  // share it, a rerun started twice): written together, the set left is one that belongs together.
  const std::vector<FileFailure> failures =
      writeResultsTogether(files, image.bgr, result, record, pool, segmentation.threads);
  for (const FileFailure& failure : failures) {
    err << failure.path << ": " << failure.reason << "\n";
  }
  return failures.empty() ? ImageStatus::written : ImageStatus::failed;
}

// What one image leaves for the printer.
struct Outcome {
  std::string out;
  std::string err;
  ImageStatus status = ImageStatus::failed;
  bool unreported = false;  // failed, and the reason could not even be put into words
  bool done = false;
};

// The images of the walk, handed out one at a time to the workers; the outcomes come back to the
// thread that prints them in walk order.
class ImageQueue {
 public:
  explicit ImageQueue(std::size_t count) : outcomes_(count) {}

  // The index of the next image to segment, or false when every image has been handed out.
  bool next(std::size_t& index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handedOut_ == outcomes_.size()) return false;
    index = handedOut_++;
    return true;
  }

  void finish(std::size_t index, Outcome outcome) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      outcomes_[index] = std::move(outcome);
      outcomes_[index].done = true;
    }
    finishedCount_.fetch_add(1);
    finished_.notify_all();
  }

  // True once every image is finished.
  bool allFinished() const { return finishedCount_.load() == outcomes_.size(); }

  // Waits for image `index` and takes its outcome.
  Outcome take(std::size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [&] { return outcomes_[index].done; });
    return std::move(outcomes_[index]);
  }

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  std::size_t handedOut_ = 0;
  std::vector<Outcome> outcomes_;
  std::atomic<std::size_t> finishedCount_{0};
};

// Takes images from the queue until none is left, then helps the images still being segmented
// until all are finished. Nothing escapes: a failure of any kind is the image's, and every image
// handed out is finished, or the thread printing the outcomes would wait for it for ever. An image
// that shares its results with an earlier one (`earlier`) is only reported. Outside the `try` only
// the queue's and the pool's mutexes are locked, which fails only in a broken program.
void work(ImageQueue& queue, const std::vector<WalkEntry>& images,
          const std::vector<std::size_t>& earlier, const RunOptions& options,
          const OutputTree& tree, const std::string& settings, ThreadPool& pool) noexcept {
  std::size_t index;
  while (queue.next(index)) {
    const WalkEntry& entry = images[index];
    Outcome outcome;
    try {
      std::ostringstream out, err;
      try {
        if (earlier[index] != noEarlierImage) {
          err << entry.fullPath << ": not segmented: its results would replace those of "
              << images[earlier[index]].fullPath << "\n";
        } else {
          outcome.status = processImage(entry, options, tree, settings, pool, out, err);
        }
      } catch (const std::exception& e) {
        err << entry.fullPath << ": " << e.what() << "\n";
      } catch (...) {
        err << entry.fullPath << ": failed for an unknown reason\n";
      }
      if (!options.quiet) outcome.out = out.str();
      outcome.err = err.str();
    } catch (...) {
      // Even the report could not be made (no memory for it): the printer names the image.
      outcome = Outcome{};
      outcome.unreported = true;
    }
    queue.finish(index, std::move(outcome));
    if (queue.allFinished()) pool.wake();
  }
  pool.help([&] { return queue.allFinished(); });
}

// True when `path` is `folder` or lies below it ("/a/b" in "/a", not "/ab" in "/a").
bool isWithin(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

// Joins the workers however the thread that started them leaves, as a joinable std::thread that
// is destroyed ends the process.
struct JoinOnExit {
  std::vector<std::thread>& threads;
  ~JoinOnExit() {
    for (std::thread& thread : threads) {
      if (thread.joinable()) thread.join();
    }
  }
};

// Creates the mirror of every folder the walk met, in walk order, prints what went wrong, and
// returns the images to segment: those not inside a folder whose mirror failed (such a folder is
// skipped whole, with whatever the walk met inside it).
std::vector<WalkEntry> mirrorWalk(std::vector<WalkEntry> entries, const OutputTree& tree,
                                  std::ostream& out, std::ostream& err, RunSummary& summary) {
  std::vector<std::string> failedFolders;
  const auto insideFailed = [&](const std::string& relative) {
    for (const std::string& folder : failedFolders) {
      if (isWithin(relative, folder)) return true;
    }
    return false;
  };
  const auto mirror = [&](const std::string& relative) {
    std::string reason;
    const std::string superpixelMirror = tree.superpixelFolder + relative;
    if (!createFolder(superpixelMirror, &reason)) {
      out << "unable to create superpixel folder" << std::endl;
      err << superpixelMirror << ": cannot create folder: " << reason << std::endl;
      return false;
    }
    const std::string partitionMirror = tree.partitionFolder + relative;
    if (!createFolder(partitionMirror, &reason)) {
      out << "unable to create partition folder" << std::endl;
      err << partitionMirror << ": cannot create folder: " << reason << std::endl;
      return false;
    }
    removeLeftoverTemporaries(superpixelMirror, resultSuffixes);
    removeLeftoverTemporaries(partitionMirror, resultSuffixes);
    return true;
  };
  std::vector<WalkEntry> images;
  for (WalkEntry& entry : entries) {
    if (insideFailed(entry.relativePath)) continue;
    switch (entry.kind) {
      case WalkEntry::Kind::folder:
        if (!mirror(entry.relativePath)) {
          ++summary.errors;
          failedFolders.push_back(entry.relativePath);
        }
        break;
      case WalkEntry::Kind::image:
        images.push_back(std::move(entry));
        break;
      case WalkEntry::Kind::otherFormat:
        if (summary.otherFormatFiles++ == 0) summary.otherFormatExample = entry.fullPath;
        break;
      case WalkEntry::Kind::warning:
        err << entry.fullPath << ": " << entry.reason << std::endl;
        break;
      case WalkEntry::Kind::error:
        err << entry.fullPath << ": " << entry.reason << std::endl;
        ++summary.errors;
        break;
    }
  }
  return images;
}

// The output sub-folder that holds `input` (is it, or an ancestor of it), or empty: walking it
// would segment the run's own results.
std::string resultsFolderHolding(const std::string& input, const OutputTree& tree) {
  char* real = ::realpath(input.c_str(), nullptr);
  if (real == nullptr) return {};
  const std::string inputReal = real;
  std::free(real);
  for (const std::string& folder : {tree.superpixelFolder, tree.partitionFolder}) {
    real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr) continue;
    const std::string folderReal = real;
    std::free(real);
    if (isWithin(inputReal, folderReal)) return folder;
  }
  return {};
}

}  // namespace

std::string unusableFolder(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return std::strerror(ENOTDIR);
  return {};
}

int exitCode(const RunSummary& summary) {
  if (summary.outputFoldersFailed) return 255;
  return summary.errors == 0 ? 0 : 1;
}

namespace {

// Checks OUTPUT, walks INPUT and creates the output folders. Returns false, with `summary` and one
// line on `err` saying why, when the run cannot start.
bool startRun(const RunOptions& options, const OutputTree& tree, std::vector<WalkEntry>& walk,
              std::ostream& err, RunSummary& summary) {
  // OUTPUT first: an unusable one is one line and nothing else.
  if (const std::string why = unusableFolder(options.outputFolder); !why.empty()) {
    err << options.outputFolder << ": cannot use output folder: " << why << std::endl;
    summary.outputFoldersFailed = true;
    return false;
  }
  // Then INPUT: one that cannot be walked at all creates nothing. What the run writes or reads as
  // masks is never walked, wherever it lies: with INPUT == OUTPUT, the images of INPUT are
  // segmented but the results of earlier runs are not.
  walk = walkInput(
      options.inputFolder,
      {options.outputFolder, tree.superpixelFolder, tree.partitionFolder, options.masksFolder});
  if (const std::string results = resultsFolderHolding(options.inputFolder, tree);
      !results.empty()) {
    walk = {
        {WalkEntry::Kind::error, options.inputFolder, "", "",
         "cannot open input folder: it lies inside " + results + ", where results are written"}};
  }
  if (walk.size() == 1 && walk[0].kind == WalkEntry::Kind::error && walk[0].relativePath.empty()) {
    err << walk[0].fullPath << ": " << walk[0].reason << std::endl;
    ++summary.errors;
    return false;
  }
  for (const std::string& folder : {tree.superpixelFolder, tree.partitionFolder}) {
    std::string reason;
    if (!createFolder(folder, &reason)) {
      err << folder << ": cannot create folder: " << reason << std::endl;
      summary.outputFoldersFailed = true;
      return false;
    }
  }
  removeLeftoverTemporaries(tree.superpixelFolder, resultSuffixes);
  removeLeftoverTemporaries(tree.partitionFolder, resultSuffixes);
  return true;
}

// Prints the images' lines as their outcomes come back, in walk order, and counts them.
void reportOutcomes(ImageQueue& queue, const std::vector<WalkEntry>& images, bool showProgress,
                    std::ostream& out, std::ostream& err, RunSummary& summary) {
  ProgressLine progress(err, showProgress, summary.imagesFound);
  progress.update(0);
  for (std::size_t index = 0; index < images.size(); ++index) {
    const Outcome outcome = queue.take(index);
    if (!outcome.out.empty() || !outcome.err.empty() || outcome.unreported) {
      progress.clear();
      out << outcome.out << std::flush;
      err << outcome.err << std::flush;
      if (outcome.unreported) err << images[index].fullPath << ": out of memory" << std::endl;
      progress.show();
    }
    progress.update(static_cast<int>(index) + 1);
    switch (outcome.status) {
      case ImageStatus::written:
        ++summary.imagesWritten;
        break;
      case ImageStatus::skipped:
        ++summary.imagesSkipped;
        break;
      case ImageStatus::failed:
        ++summary.errors;
        break;
    }
  }
  progress.clear();
}

}  // namespace

RunSummary runBatch(const RunOptions& options, std::ostream& out, std::ostream& err) {
  RunSummary summary;
  const OutputTree tree(options.outputFolder);
  std::vector<WalkEntry> walk;
  if (!startRun(options, tree, walk, err, summary)) return summary;

  std::vector<WalkEntry> images = mirrorWalk(std::move(walk), tree, out, err, summary);
  leaveOutMasks(images, options.masksFolder);
  // By result name, not by file name: images that share their results fall into one shard.
  std::erase_if(
      images, [&](const WalkEntry& entry) { return !inShard(entry.relativeBase, options.shard); });
  summary.imagesFound = static_cast<int>(images.size());
  const std::vector<std::size_t> earlier = firstImagesWithSameResults(images);

  const std::string settings = settingsRecord(options);
  ImageQueue queue(images.size());
  const std::size_t jobs = std::min<std::size_t>(ThreadPool::threadsFor(options.jobs),
                                                 std::max<std::size_t>(images.size(), 1));
  // Workers with no image left lend themselves to the images still running; threads beyond the
  // workers, when an image may use more, are helpers from the start.
  const int perImage = ThreadPool::threadsFor(options.segmentation.threads);
  ThreadPool pool(std::max(1, perImage - static_cast<int>(jobs) + 1));
  std::vector<std::thread> workers;
  const JoinOnExit joinWorkers{workers};
  try {
    workers.reserve(jobs);
    for (std::size_t j = 0; j < jobs; ++j) {
      workers.emplace_back(work, std::ref(queue), std::cref(images), std::cref(earlier),
                           std::cref(options), std::cref(tree), std::cref(settings),
                           std::ref(pool));
    }
  } catch (...) {
    // Fewer threads than asked for; with none at all, this thread does the work.
    if (workers.empty()) work(queue, images, earlier, options, tree, settings, pool);
  }
  reportOutcomes(queue, images, options.showProgress, out, err, summary);
  if (summary.otherFormatFiles > 0) {
    err << "superpixels: skipped " << summary.otherFormatFiles
        << (summary.otherFormatFiles == 1 ? " file" : " files")
        << " in image formats it does not read (such as GIF, HEIC, AVIF or camera raw), for "
           "example "
        << summary.otherFormatExample << std::endl;
  }
  return summary;
}

}  // namespace superpixels
