#pragma once

#include <string>
#include <string_view>

namespace superpixels {

// Why the JPEG in `bytes` (a whole file) is damaged, or an empty string. Its compressed data is
// decoded once at an eighth of its size, which reads every entropy-coded block but spends little
// on the inverse transform and nothing on full-size output, with libjpeg's messages kept instead
// of printed: any warning (a stray restart marker, data cut short, bytes before a marker) or error
// names the damage. OpenCV's decoder would print the same warning on standard error and return the
// image with garbage rows.
std::string jpegDamage(std::string_view bytes);

}  // namespace superpixels
