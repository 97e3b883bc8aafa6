#pragma once

#include <string>
#include <string_view>

#include "eval/label_image.hpp"

namespace superpixels::eval {

// Parses the tool's label text: one line per image row, top row first; every label a run of
// decimal digits (at most 2^31 - 1) followed by a tab; every line, the last included, ended by
// CR LF; all lines holding the same number of labels, at least one. Anything else is refused with
// the first offending line in `error` ("line 3: ..."), leaving `image` unchanged. Labels are
// compacted (see compactLabelImage).
bool parseLabelText(std::string_view text, LabelImage& image, std::string& error);

}  // namespace superpixels::eval
