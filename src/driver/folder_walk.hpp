#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace superpixels {

// Output sub-folder names.
inline constexpr const char* superpixelSubfolder = "superpixels";
inline constexpr const char* partitionSubfolder = "partition_results";

// True when `path` has at least 5 characters and ends in ".png", ".ppm", ".bmp" or ".jpg" (exactly
// these lower-case suffixes).
bool isImagePath(const std::string& path);

// Creates one folder level; an existing folder counts as success, anything else (an existing plain
// file of that name included) as failure, with the reason in `reason`.
bool createFolder(const std::string& path, std::string* reason = nullptr);

// An image found by the walk.
struct ImageEntry {
  std::string fullPath;      // input folder + relativePath
  std::string relativePath;  // "/sub/name.png"; empty when the input folder is itself the image
};

// What the walk tells its caller besides the images.
struct WalkReport {
  std::ostream& out;  // console lines of the tool
  std::ostream& err;  // warnings and errors, one line each
  int errors = 0;     // failures that make the run unsuccessful
};

// Walks the tree under `inputFolder` depth-first, entries of a folder in byte order of their names.
// Every directory met (symbolic links followed) is mirrored under both output folders before it is
// walked, and temporary files an interrupted run left in the mirrors are removed; every plain file
// with an image suffix is appended to `images`; other files are ignored.
// A directory already on the current walk path (a link loop) is skipped with a warning; the
// directory `excluded` (the output folder, when it lies inside the input tree) is never entered. An
// input folder that is itself an image file yields one image with an empty relative path. Folders
// that cannot be listed or mirrored are reported and skipped; the walk goes on.
void walkInput(const std::string& inputFolder, const std::string& superpixelFolder,
               const std::string& partitionFolder, const std::string& excluded,
               std::vector<ImageEntry>& images, WalkReport& report);

}  // namespace superpixels
