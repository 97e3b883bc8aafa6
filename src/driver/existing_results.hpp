#pragma once

#include "superpixels/io.hpp"

namespace superpixels {

// True when all three result files of an image exist and are whole: both PNGs have their chunks
// whole from the header to the closing chunk and the same size, and the label file holds one
// CR LF line per row of that many tab-terminated numbers. Results are written atomically, so this
// mostly guards against files from elsewhere; it reads the label file and walks the PNGs' chunk
// lists, and decodes nothing.
bool resultsComplete(const ResultFiles& files);

}  // namespace superpixels
