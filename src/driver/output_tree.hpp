#pragma once

#include <string>
#include <string_view>

#include "superpixels/io.hpp"

namespace superpixels {

// Output sub-folder names.
inline constexpr const char* superpixelSubfolder = "superpixels";
inline constexpr const char* partitionSubfolder = "partition_results";

// File suffixes of the three results, appended to the folder + "/" + relative base.
inline constexpr const char* boundarySuffix = "_KVR.png";
inline constexpr const char* partitionSuffix = "_partition.png";
inline constexpr const char* labelSuffix = ".txt";
// With --regions, beside the label file.
inline constexpr const char* regionsSuffix = "_regions.csv";
inline constexpr const char* adjacencySuffix = "_adjacency.csv";
// Every suffix a result file ends in: the only names whose leftover temporaries a run removes.
inline const std::vector<std::string> resultSuffixes = {boundarySuffix, partitionSuffix, labelSuffix,
                                                      regionsSuffix, adjacencySuffix};

// Creates one folder level; an existing folder counts as success, anything else (an existing plain
// file or symbolic link of that name included, even a link to a folder) as failure, with the
// reason in `reason`.
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
  // paths hold "//" after the sub-folder's name. With `tables`, the two CSV files as well.
  ResultFiles resultFiles(const std::string& relativeBase, bool tables = false) const {
    ResultFiles files;
    files.boundaryImage = superpixelFolder + "/" + relativeBase + boundarySuffix;
    files.partitionImage = partitionFolder + "/" + relativeBase + partitionSuffix;
    files.labels = partitionFolder + "/" + relativeBase + labelSuffix;
    if (tables) {
      files.regions = partitionFolder + "/" + relativeBase + regionsSuffix;
      files.adjacency = partitionFolder + "/" + relativeBase + adjacencySuffix;
    }
    return files;
  }
};

}  // namespace superpixels
