#pragma once

#include <string>
#include <vector>

namespace superpixels {

// True when `path` has at least 5 characters and ends in ".png", ".ppm", ".bmp" or ".jpg" (exactly
// these lower-case suffixes).
bool isImagePath(const std::string& path);

// The length of the image suffix that `path` ends in (4 for ".png"), or 0 when isImagePath is
// false.
std::size_t imageSuffixLength(const std::string& path);

// Something the walk met, in walk order.
struct WalkEntry {
  enum class Kind {
    folder,   // a folder to mirror, met before anything inside it
    image,    // a plain file with an image suffix
    warning,  // worth a line, not a failure (a folder that leads back into the walk)
    error,    // a failure: a folder that cannot be listed, an image that cannot be read
  };
  Kind kind = Kind::error;
  // INPUT + relativePath; for an INPUT that is itself an image, INPUT.
  std::string fullPath;
  // "/sub/name.png"; empty for the INPUT folder itself. An INPUT that is itself an image has its
  // own name, "/name.png", as if it had been found in a folder.
  std::string relativePath;
  // For images: relativePath without its suffix ("/sub/name"), what the results are named after.
  std::string relativeBase;
  std::string reason;  // for warnings and errors
};

// Walks the tree under `inputFolder` depth-first, entries of a folder in byte order of their names,
// following symbolic links, and returns what it met: every folder before its contents, every plain
// file with an image suffix, and what went wrong. Other files are left out. A folder already on the
// current walk path (a link loop) is a warning and is not entered; the folder `excluded` (the
// output folder, when it lies inside the input tree) is never entered. An input that is itself an
// image file yields one image whose relative path is its name ("/photo.jpg"). Nothing is created
// or printed, and nothing stops the walk.
std::vector<WalkEntry> walkInput(const std::string& inputFolder, const std::string& excluded);

}  // namespace superpixels
