#pragma once

#include <string>

#include "driver/batch.hpp"

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
// number. With --masks, every image's record ends with the line of its mask (maskLine).
// Settings that do not change results (--jobs, --threads, --shard, --max-pixels, --quiet,
// --progress, --skip-existing) are left out, and so is --regions, whose tables come beside the
// three results: --skip-existing redoes an image whose tables are missing. --skip-existing redoes
// every image whose results record other settings, or none.
std::string settingsRecord(const RunOptions& options);

// With --masks, the line that tells an image's mask: "mask=" and the mask's path relative to the
// masks folder and the checksum of its bytes ("mask=/sub/name.png 0123456789abcdef"), or
// "mask=none" when the image has none; so a mask changed, added or removed redoes the image.
// `bytes` are the mask file's, when `found`.
std::string maskLine(const std::string& relativePath, bool found, std::string_view bytes);

}  // namespace superpixels
