#pragma once

// The header fuzz target: any bytes as an image file -> the header check -> the decoder. Shared by
// the libFuzzer executable and the corpus replay test.

#include <cstddef>
#include <cstdint>
#include <string>

namespace superpixels::fuzz {

// Reads the header of `data` as a file's contents and checks what it says: a size of at least 1 x 1
// or a reason. When it declares at most 65536 pixels, the bytes are also decoded: whatever the
// decoder makes of them must have the declared size, or the pixel limit could be bypassed. Returns
// the first broken invariant, empty when none.
std::string checkHeader(const std::uint8_t* data, std::size_t size);

}  // namespace superpixels::fuzz
