#pragma once

// Files in and out, exactly as the command-line tool reads and writes them: an image file to a
// decoded image, a result to its pictures, its label text and its files on disk.

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "superpixels/superpixels.hpp"

namespace superpixels {

// The tool's default pixel limit per image (--max-pixels): far above any camera photo, and small
// enough that the memory a run needs stays within a few gigabytes.
inline constexpr std::int64_t defaultMaxPixels = 100000000;

// An image file, read.
struct ImageFile {
  cv::Mat bgr;        // the decoded image, 8-bit, blue-green-red, when ok()
  std::string error;  // why it could not be used, e.g. "cannot decode image: truncated PNG header"
  int systemError = 0;  // the errno when the file itself could not be opened (ENOENT, EISDIR, ...)
  bool ok() const { return error.empty(); }
};

// Reads the image file at `path` into three 8-bit channels, as the tool does. Only a regular file
// is read (a FIFO or a device is refused unread: "not a regular file (a FIFO)"). The header is
// read first: a file that is not a PNG, JPEG, BMP, PNM, TIFF or WebP image (an animated WebP
// included), that is cut short or damaged, whose header declares more than `maxPixels` pixels or a
// TIFF tile of more, or that is much longer than such an image can be, is refused before any pixel
// memory is allocated. The file is then read once and decoded from memory; a JPEG, PNG or TIFF
// whose compressed data its library finds damaged is refused ("damaged image data: REASON"), the
// library's message as the reason instead of a line of its own on standard error.
ImageFile readImage(const std::string& path, std::int64_t maxPixels = defaultMaxPixels);

// A mask file, read.
struct MaskFile {
  cv::Mat mask;         // 8-bit, one channel: 1 inside, 0 outside, when ok()
  std::string error;    // why it could not be used
  int systemError = 0;  // the errno when the file itself could not be opened (ENOENT, EISDIR, ...)
  bool ok() const { return error.empty(); }
};

// Reads a mask for segment(): any image file readImage accepts (header checked, pixel limit
// applied before decoding), at any bit depth and with any number of channels; a pixel is inside
// where any of its channels (alpha included) is not zero.
MaskFile readMask(const std::string& path, std::int64_t maxPixels = defaultMaxPixels);

// Copy of `bgr` with the superpixel borders and the top row and left column in black: a pixel is
// black unless the 2 x 2 window ending at it lies inside the image and holds one label only.
// `labels` is row-major with one entry per pixel of `bgr` (8-bit, 3 channels); any integers do.
cv::Mat boundaryImage(const cv::Mat& bgr, const std::vector<std::int32_t>& labels);

// The blue, green and red bytes a display colour is painted with: component x 255 in single
// precision, truncated.
cv::Vec3b colourBytes(const Colour& colour);

// Every pixel of the result in its superpixel's display colour, blue-green-red; black outside the
// mask (label -1).
cv::Mat partitionImage(const Result& result);

// The label file: one line per row, every label followed by a tab (-1 outside the mask), lines
// ended by CR LF.
std::string labelText(const Result& result);

// Where writeResults puts each file; an empty path leaves that file out.
struct ResultFiles {
  std::string boundaryImage;   // the tool's NAME_KVR.png
  std::string partitionImage;  // NAME_partition.png
  std::string labels;          // NAME.txt
  std::string regions;         // NAME_regions.csv: regionsCsv of the superpixel table
  std::string adjacency;       // NAME_adjacency.csv: adjacencyCsv
};

// The keyword of the PNG text chunk in which writeResults records its `record`.
inline constexpr const char* resultRecordKeyword = "superpixels";

// A file that could not be written, and why.
struct FileFailure {
  std::string path;
  std::string reason;
};

// Writes the result's files in the order of ResultFiles, each to a temporary file beside it that
// is then renamed into place: a crash or a kill leaves the old file or the whole new one, never a
// part. Returns the files that failed (none when all were written); a failure does not stop the
// others. `bgr` is the segmented image.
//
// A `record` other than empty (such as the settings that made the result; the tool records
// "key=value" lines: its version, COUNT, WEIGHT) is written into both PNGs, in a tEXt chunk with
// the keyword resultRecordKeyword right after the header chunk, where a reader finds it without
// walking the image data. Lines follow it that tie the files together: "labels=", "regions=" and
// "adjacency=" with a checksum of each of those files that is written, "file=overlay" or
// "file=partition", and "pixels=" with a checksum of that PNG's compressed pixel data (its IDAT
// chunks' bodies joined), so that a reader can tell, without decoding, that the files belong
// together and are whole. Each checksum is 16 lower-case hexadecimal digits (a 64-bit hash of
// FNV-1a style, the same on every machine). Latin-1 text; a record with a NUL byte throws
// std::invalid_argument. The pixels are the same with or without a record.
std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record = {});

// writeResults, with the files made and written side by side on `pool` (the overlay's PNG takes
// longest). The files and the failures are the same as written one after another.
std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record,
                                      ThreadPool& pool);

}  // namespace superpixels
