#pragma once

#include <string>

#include "superpixels/io.hpp"

namespace superpixels {

// Output sub-folder names.
inline constexpr const char* superpixelSubfolder = "superpixels";
inline constexpr const char* partitionSubfolder = "partition_results";

// File suffixes of the three results, appended to the folder + "/" + relative base.
inline constexpr const char* boundarySuffix = "_KVR.png";
inline constexpr const char* partitionSuffix = "_partition.png";
inline constexpr const char* labelSuffix = ".txt";

// Creates one folder level; an existing folder counts as success, anything else (an existing plain
// file of that name included) as failure, with the reason in `reason`.
bool createFolder(const std::string& path, std::string* reason = nullptr);

// The two output trees of a run under OUTPUT and the names of an image's results in them.
struct OutputTree {
  std::string superpixelFolder;  // OUTPUT + "/superpixels"
  std::string partitionFolder;   // OUTPUT + "/partition_results"

  explicit OutputTree(const std::string& outputFolder)
      : superpixelFolder(outputFolder + "/" + superpixelSubfolder),
        partitionFolder(outputFolder + "/" + partitionSubfolder) {}

  // The result files of the image whose relative base (its path relative to INPUT without its
  // suffix, "/sub/name") is `relativeBase`: folder + "/" + relativeBase + suffix, so the
  // paths hold "//" after the sub-folder's name.
  ResultFiles resultFiles(const std::string& relativeBase) const {
    return {superpixelFolder + "/" + relativeBase + boundarySuffix,
            partitionFolder + "/" + relativeBase + partitionSuffix,
            partitionFolder + "/" + relativeBase + labelSuffix};
  }
};

}  // namespace superpixels
