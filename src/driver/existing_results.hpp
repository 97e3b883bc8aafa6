#pragma once

#include <string>

#include "superpixels/io.hpp"

namespace superpixels {

// True when all three result files of an image exist, are whole and were made with `settings`
// (see settingsRecord): both PNGs have their chunks whole from the header to the closing
// chunk and the same size, the label file holds one CR LF line per row of that many
// tab-terminated numbers, and both PNGs record exactly `settings` followed by the label file's
// checksum (see writeResults), so the label file is the one written with them. Results without a
// record, from other settings or another version of the tool do not count. Walks the PNGs'
// chunk lists and reads the label file; decodes nothing.
bool resultsComplete(const ResultFiles& files, const std::string& settings);

}  // namespace superpixels
