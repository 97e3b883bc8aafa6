#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace superpixels {

// What an image file's header declares, read without decoding any pixel.
struct ImageHeader {
  bool ok = false;     // a PNG, JPEG, BMP or PNM header was found and holds a size
  std::string reason;  // why not, when !ok
  std::int64_t width = 0;
  std::int64_t height = 0;
};

// Reads the size declared by the header of the file at `path`. The format is told by the leading
// bytes, as the decoder tells it: PNG (IHDR), JPEG (first frame header), BMP (info header) and
// PBM/PGM/PPM (P1 .. P6 and a blank). Other formats, truncated or damaged headers and a declared
// width or height of 0 are refused with a reason. Only headers are read, except that a PNG's chunk
// list is walked to its end and a JPEG's compressed data scanned for its end marker: a PNG or JPEG
// cut short, or a PNG with a bad CRC in a critical chunk, is refused here with a reason, rather
// than by the decoder, which prints lines of its own on standard error (and decodes a cut JPEG
// anyway).
ImageHeader readImageHeader(const std::string& path);

// The same for the bytes of `in`, read from its start; `in` must be seekable.
ImageHeader readImageHeader(std::istream& in);

}  // namespace superpixels
