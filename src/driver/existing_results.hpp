#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "superpixels/io.hpp"

namespace superpixels {

// What the record of a result PNG tells (see writeResults).
struct ResultPng {
  bool ok = false;  // a whole PNG (every CRC right but IDAT's) whose record ends as below
  std::int64_t width = 0;
  std::int64_t height = 0;
  // The record's lines that both PNGs of a set share: the settings, the input, the checksums of
  // the label file and the tables.
  std::string shared;
};

// Reads the record of the result PNG `bytes` (the whole file): a record whose last lines are
// "file=" `role` and "pixels=" the checksum of the file's own compressed pixel data, so that a
// file damaged, of another set's pixels or of the other role is told. Inflates nothing.
ResultPng resultPng(std::string_view bytes, std::string_view role);

// True when the result files of an image exist, are whole and are what a run with `settings` (see
// settingsRecord, with the image's mask and input lines) writes: every file is a regular file,
// read with a bound its format and the PNGs' size give; both PNGs have their chunks whole from the
// header to the closing chunk, every CRC but the pixel data's right, and the same size; the label
// file holds one CR LF line per row of that many tab-terminated numbers; both PNGs record exactly
// `settings`, the checksums of the label file and of the tables (when `files` names them), their
// own role and the checksum of their own pixel data (see writeResults). So a file of another
// image, another input, other settings or another set, a file damaged or swapped with its
// sibling, and results without a record or from another version of the tool do not count. Reads
// and checksums the files; decodes nothing.
bool resultsComplete(const ResultFiles& files, const std::string& settings);

// True when the result files of an image are whole and belong together, as resultsComplete checks,
// whatever settings they record: the check a writer makes once its files are in place, since
// another run writing the same image at the same time may have replaced some of them.
bool resultsBelongTogether(const ResultFiles& files);

}  // namespace superpixels
