#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace superpixels {

// What the chunk list of a PNG file shows, without inflating any pixel data.
struct PngStructure {
  bool ok = false;     // a PNG whose chunks are whole, from IHDR to IEND
  std::string reason;  // why not, when !ok
  std::int64_t width = 0;
  std::int64_t height = 0;
};

// Walks the chunks of the PNG in `in` (seekable, positioned anywhere; read from its start, whose
// 8-byte signature the caller has checked): IHDR first with the size, every chunk whole, IEND at
// the end. With `checkCrc`, every critical chunk's CRC is checked too, which reads the pixel data;
// without, ancillary and critical chunk bodies alike are skipped by seeking.
PngStructure readPngStructure(std::istream& in, bool checkCrc);

// True when `in` starts with the 8-byte PNG signature; leaves `in` at its start.
bool hasPngSignature(std::istream& in);

}  // namespace superpixels
