#pragma once

#include <string>

#include "batch.hpp"

namespace superpixels {

// The settings a run's results are made with, as recorded in both PNGs of every result
// (ResultFiles::record): one "key=value" line each, in a fixed order, for the tool's version and
// every setting that changes the result files, each value as used, not as typed:
//
//   version=1.0.0
//   count=200
//   weight=0.5
//   connectivity=8
//
// COUNT in decimal, WEIGHT in the shortest form that reads back to the same single-precision
// number. With --masks, every image's record goes on with the line of its mask (maskLine); then
// comes the line of its input file (inputLine).
// Settings that do not change results (--jobs, --threads, --shard, --max-pixels, --quiet,
// --progress, --skip-existing) are left out; --regions shows in the lines with the tables'
// checksums that writeResults adds. --skip-existing redoes every image whose results record other
// settings, or none.
std::string settingsRecord(const RunOptions& options);

// With --masks, the line that tells an image's mask: "mask=" and the mask's path relative to the
// masks folder and the checksum of its bytes ("mask=/sub/name.png 0123456789abcdef"), or
// "mask=none" when the image has none; so a mask changed, added or removed redoes the image.
// `bytes` are the mask file's, when `found`.
std::string maskLine(const std::string& relativePath, bool found, std::string_view bytes);

// The line that ties an image's results to the input file they were made from: "input=" and the
// checksum of the file's `bytes`; so results of a photo since replaced, or copied from another
// image, are redone.
std::string inputLine(std::string_view bytes);

}  // namespace superpixels
