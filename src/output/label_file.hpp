#pragma once

// The label file format, in one place: written by labelText (superpixels/io.hpp), read back here
// by the evaluation and checked here by --skip-existing.
//
// Plain text, one line per image row, top row first; every label a run of decimal digits
// (at most 2^31 - 1), or -1 outside a mask, followed by a tab; every line, the last included, ended
// by CR LF; all lines holding the same number of labels, at least one.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace superpixels {

// Labels read from a label file, row-major.
struct LabelGrid {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::int32_t> labels;
};

// Parses label text. Anything but the format above is refused with the first offending line in
// `error` ("line 3: ..."), leaving `grid` unchanged.
bool parseLabelText(std::string_view text, LabelGrid& grid, std::string& error);

// True when `text` is a label file of exactly `height` lines of `width` labels each.
bool isWholeLabelText(std::string_view text, std::int64_t width, std::int64_t height);

// A checksum of the label file's bytes, 16 lower-case hexadecimal digits: the PNGs of a result
// record it (see writeResults), so that a label file that was not written with them is told apart.
// The same on every machine. Not meant to withstand a deliberate forgery.
std::string labelChecksum(std::string_view text);

}  // namespace superpixels
