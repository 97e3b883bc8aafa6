#pragma once

// The record fuzz target: any bytes as a result PNG -> the reader of its record, which
// --skip-existing trusts to keep a result. Shared by the libFuzzer executable and the corpus replay
// test.

#include <cstddef>
#include <cstdint>
#include <string>

namespace superpixels::fuzz {

// Reads the record of `data` as a result PNG's contents, in both roles. An accepted file must be a
// whole PNG that holds the record's text, whose last lines name the role and the checksum of the
// file's own pixel data; the same bytes must never pass as both roles. Returns the first broken
// invariant, empty when none.
std::string checkRecord(const std::uint8_t* data, std::size_t size);

}  // namespace superpixels::fuzz
