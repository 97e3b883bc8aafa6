#pragma once

#include <string>

namespace superpixels {

// True when all three result files of an image exist and are whole: both PNGs carry a header and
// end with their closing chunk, have the same size, and the label file holds one CR LF line per
// row of that many tab-terminated numbers. Results are written atomically, so this mostly guards
// against files from elsewhere; it reads the label file and the ends of the PNGs, and decodes
// nothing.
bool resultsComplete(const std::string& boundaryPath, const std::string& partitionPath,
                     const std::string& labelPath);

}  // namespace superpixels
