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
//
// COUNT in decimal, WEIGHT in the shortest form that reads back to the same single-precision
// number. Settings that do not change results (--jobs, --shard, --max-pixels, --quiet,
// --progress, --skip-existing) are left out. --skip-existing redoes every image whose results
// record other settings, or none.
std::string settingsRecord(const RunOptions& options);

}  // namespace superpixels
