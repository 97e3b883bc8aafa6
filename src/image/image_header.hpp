#pragma once

#include <cstdint>
#include <istream>
#include <string>

namespace superpixels {

// What an image file's header declares, read without decoding any pixel.
struct ImageHeader {
  bool ok = false;     // a PNG, JPEG, BMP, PNM, TIFF or WebP header was found and holds a size
  std::string reason;  // why not, when !ok
  std::int64_t width = 0;
  std::int64_t height = 0;
  // A TIFF's tile size, when it is tiled: the decoder allocates a whole tile even where the image
  // is smaller, so the pixel limit applies to it too. 0 otherwise (strips are never wider than the
  // image, and the decoder takes at most the image's height of rows per strip).
  std::int64_t tileWidth = 0;
  std::int64_t tileHeight = 0;
};

// Reads the size declared by the header of the file at `path`. The format is told by the leading
// bytes, as the decoder tells it: PNG (IHDR), JPEG (first frame header), BMP (info header),
// PBM/PGM/PPM (P1 .. P6 and a blank), TIFF and BigTIFF (the first directory, the page the decoder
// reads) and WebP (the VP8, VP8L or VP8X header). Other formats, truncated or damaged headers and a
// declared width or height of 0 are refused with a reason, as are animated WebP files, which the
// decoder does not read. Only headers are read, except where a file cut short is found no other
// way: a PNG's chunk list is walked to its end, a JPEG's compressed data scanned for its end
// marker, a TIFF's strip or tile table checked against the file's length, and a WebP's RIFF size
// and chunks. Such files, and a PNG with a bad CRC in a critical chunk, are refused here with a
// reason, rather than by the decoder, which prints lines of its own on standard error (and decodes
// a cut JPEG anyway).
// A FIFO or another special file is refused without being read.
ImageHeader readImageHeader(const std::string& path);

// The same for the bytes of `in`, read from its start; `in` must be seekable.
ImageHeader readImageHeader(std::istream& in);

}  // namespace superpixels
