#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace superpixels {

// True when `path` ends in ".png", ".ppm", ".bmp", ".jpg", ".jpeg", ".tif", ".tiff" or ".webp",
// letters in any case (".JPG", ".Png"), with at least one character before the suffix.
bool isImagePath(const std::string& path);

// The length of the image suffix that `path` ends in (4 for ".png", 5 for ".jpeg"), or 0 when
// isImagePath is false.
std::size_t imageSuffixLength(const std::string& path);

// True when `path` ends, letters in any case, in the suffix of an image format the tool does not
// read: ".gif", ".heic", ".heif", ".avif", ".jxl", ".jp2", ".j2k", ".psd", ".svg" and the suffixes
// of camera raw files (".dng", ".cr2", ".nef", ".arw", ...).
bool isOtherImageFormatPath(const std::string& path);

// Something the walk met, in walk order.
struct WalkEntry {
  enum class Kind {
    folder,  // a folder to mirror, met before anything inside it
    image,   // a plain file with an image suffix
    // a plain file whose suffix names an image format the tool does not read
    // (isOtherImageFormatPath)
    otherFormat,
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
// file with an image suffix or the suffix of another image format, and what went wrong. Other
// files are left out. Every real folder (device and inode) is walked once: a folder already on the
// current walk path (a link loop), or already walked by another path, is a warning and is not
// entered. The folders `excluded` (the output folders and the masks folder) are never entered
// below the input folder, wherever they lie; the input folder itself is always walked. A folder
// that can be listed but not searched, and an entry that cannot be opened (a path longer than the
// system allows, a link to a forbidden place; a dangling link only if named like an image), are
// errors. An input that is itself an image file yields one image whose relative path is its name
// ("/photo.jpg"). Nothing is created or printed, and nothing stops the walk.
std::vector<WalkEntry> walkInput(const std::string& inputFolder,
                                 const std::vector<std::string>& excluded);

}  // namespace superpixels
