#pragma once

// The header fuzz target: any bytes as an image file -> the header check -> the decoder. Shared by
// the libFuzzer executable and the corpus replay test.

#include <cstddef>
#include <cstdint>
#include <string>

namespace superpixels::fuzz {

// Reads the header of `data` as a file's contents and checks what it says: a size of at least 1 x 1
// (and a tile of at least 1 x 1, when tiled) or a reason. When it declares at most 65536 pixels in
// the image and in a TIFF's tile, the data checks of JPEG, PNG and TIFF run over the bytes and,
// when they find no damage, the bytes are decoded: whatever the decoder makes of them must have the
// declared size, or the pixel limit could be bypassed. Returns the first broken invariant, empty
// when none.
std::string checkHeader(const std::uint8_t* data, std::size_t size);

}  // namespace superpixels::fuzz
