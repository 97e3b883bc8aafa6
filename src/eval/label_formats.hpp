#pragma once

// Label maps as numpy writes them, for scoring the output of any method: text of whitespace-
// separated numbers (numpy.savetxt) and .npy files (numpy.save). The tool's own label files are
// read by parseLabelText (superpixels/io.hpp).

#include <string>
#include <string_view>

#include "superpixels/io.hpp"

namespace superpixels::eval {

// True when `text` looks like the tool's own label file: its first line ends with a tab, then
// CR LF or a line feed. Such text is read strictly in the tool's format.
bool isToolLabelText(std::string_view text);

// Rows of numbers separated by spaces or tabs, one row per line (LF or CR LF line ends), all rows
// of one length; blank lines and everything after a '#' are ignored. A number is an integer or a
// real number of integer value ("3", "-1", "3.000000000000000000e+00"), within 32 bits. Refused
// with the first offending line in `error` ("line 3: ..."), leaving `grid` unchanged.
bool parseNumberText(std::string_view text, LabelGrid& grid, std::string& error);

// A .npy file (format versions 1 to 3) of a two-dimensional array of integers, signed or not, of
// 1, 2, 4 or 8 bytes, in either byte order and either memory order, every value within 32 bits.
// Refused with the reason in `error`, leaving `grid` unchanged.
bool parseNpy(std::string_view bytes, LabelGrid& grid, std::string& error);

}  // namespace superpixels::eval
