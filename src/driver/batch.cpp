#include "driver/batch.hpp"

#include <exception>
#include <vector>

#include "driver/engine.hpp"
#include "driver/folder_walk.hpp"
#include "image/image_data.hpp"
#include "output/atomic_file.hpp"
#include "output/writers.hpp"

namespace superpixels {

namespace {

// Segments one image and writes its results; false when anything failed (already reported).
bool processImage(const ImageEntry& entry, const RunOptions& options,
                  const std::string& superpixelFolder, const std::string& partitionFolder,
                  std::ostream& out, std::ostream& err) {
  ImageData image;
  const LoadStatus loaded = loadImage(entry.fullPath, image, options.maxPixels);
  if (!loaded.ok) {
    err << entry.fullPath << ": " << loaded.reason << std::endl;
    return false;
  }
  out << "reading  " << entry.fullPath << "..." << std::endl;

  const Result result = segmentImage(image, options.segmentation);
  // The relative path without its four-character suffix.
  const std::string relativeBase =
      entry.relativePath.empty() ? "" : entry.relativePath.substr(0, entry.relativePath.size() - 4);
  bool ok = true;
  const auto report = [&](const std::string& path, const WriteStatus& status) {
    if (!status.ok) {
      err << path << ": " << status.reason << std::endl;
      ok = false;
    }
  };
  const std::string boundaryPath = resultPath(superpixelFolder, relativeBase, boundarySuffix);
  out << "save superpixel to " << boundaryPath << std::endl;
  report(boundaryPath, writeBoundaryImage(boundaryPath, image.sourceImage, result));
  const std::string partitionPath = resultPath(partitionFolder, relativeBase, partitionSuffix);
  report(partitionPath, writePartitionImage(partitionPath, result));
  const std::string labelPath = resultPath(partitionFolder, relativeBase, labelSuffix);
  report(labelPath, writeLabelFile(labelPath, result));
  return ok;
}

}  // namespace

int exitCode(const RunSummary& summary) {
  if (summary.outputFoldersFailed) return 255;
  return summary.errors == 0 ? 0 : 1;
}

RunSummary runBatch(const RunOptions& options, std::ostream& out, std::ostream& err) {
  RunSummary summary;
  const std::string superpixelFolder = options.outputFolder + "/" + superpixelSubfolder;
  const std::string partitionFolder = options.outputFolder + "/" + partitionSubfolder;
  std::string reason;
  if (!createFolder(superpixelFolder, &reason)) {
    out << "unable to create superpixel folder" << std::endl;
    err << superpixelFolder << ": cannot create folder: " << reason << std::endl;
    summary.outputFoldersFailed = true;
    return summary;
  }
  if (!createFolder(partitionFolder, &reason)) {
    out << "unable to create partition folder" << std::endl;
    err << partitionFolder << ": cannot create folder: " << reason << std::endl;
    summary.outputFoldersFailed = true;
    return summary;
  }

  removeLeftoverTemporaries(superpixelFolder);
  removeLeftoverTemporaries(partitionFolder);

  std::vector<ImageEntry> images;
  WalkReport walkReport{out, err};
  walkInput(options.inputFolder, superpixelFolder, partitionFolder, options.outputFolder, images,
            walkReport);
  summary.errors = walkReport.errors;
  summary.imagesFound = static_cast<int>(images.size());

  for (const ImageEntry& entry : images) {
    bool ok = false;
    try {
      ok = processImage(entry, options, superpixelFolder, partitionFolder, out, err);
    } catch (const std::exception& e) {
      err << entry.fullPath << ": " << e.what() << std::endl;
    }
    if (ok) {
      ++summary.imagesWritten;
    } else {
      ++summary.errors;
    }
  }
  return summary;
}

}  // namespace superpixels
