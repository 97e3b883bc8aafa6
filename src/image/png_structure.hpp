#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace superpixels {

// What the chunk list of a PNG file shows, without inflating any pixel data.
struct PngStructure {
  bool ok = false;     // a PNG whose chunks are whole, from IHDR to IEND
  std::string reason;  // why not, when !ok
  std::int64_t width = 0;
  std::int64_t height = 0;
  // The tEXt chunks whose CRC is right and whose body holds at most maxPngTextBytes, in file order:
  // keyword, then text.
  std::vector<std::pair<std::string, std::string>> texts;
};

// Longest tEXt chunk body readPngStructure reads; longer ones are skipped. A chunk's length is the
// file's claim, not a size to allocate.
inline constexpr std::uint32_t maxPngTextBytes = 65536;

// Walks the chunks of the PNG in `in` (seekable, positioned anywhere; read from its start, whose
// 8-byte signature the caller has checked): IHDR first with the size, every chunk whole, IEND at
// the end. With `checkCrc`, every critical chunk's CRC is checked too, which reads the pixel data;
// without, ancillary and critical chunk bodies alike are skipped by seeking.
PngStructure readPngStructure(std::istream& in, bool checkCrc);

// A whole PNG file held in memory, checked chunk by chunk.
struct PngContents {
  bool ok = false;  // signature, IHDR first, every chunk whole, IEND last with nothing after it,
                    // and the CRC right in every chunk but IDAT (whose data a caller checksums)
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::string imageData;  // the IDAT chunks' bodies, joined in file order
  // The tEXt chunks (keyword, then text), in file order.
  std::vector<std::pair<std::string, std::string>> texts;
};

// Walks the PNG file `png` (its bytes, signature included) as PngContents tells. Inflates nothing.
PngContents readPngContents(std::string_view png);

// The most bytes a PNG file can take for the size declared by its header, which `head` (the file's
// first 24 bytes or more: signature and IHDR) holds: 8 bytes a pixel (16-bit RGBA) and a filter
// byte a row uncompressed, 1% for deflate's and the chunks' framing, and 16 MiB for other chunks.
// 0 when `head` starts no PNG. A bound for reading a PNG file whole, not a size to allocate.
std::uint64_t pngFileBound(std::string_view head);

// True when `in` starts with the 8-byte PNG signature; leaves `in` at its start.
bool hasPngSignature(std::istream& in);

// Leaves in `png` (a whole PNG file whose chunk list readPngStructure found whole) only the
// signature and the chunks the decoder's pixels depend on: IHDR, PLTE, tRNS, IDAT, eXIf (a
// rotation) and IEND. libpng checks the others (colour profiles, gamma, text) and prints warnings
// of its own on standard error about them, where the pixels stay the same without them. In place,
// without a second copy of the file.
void keepPixelChunks(std::string& png);

// A PNG chunk: body length, type, body, CRC of type and body.
std::string pngChunk(std::string_view type, std::string_view body);

// The same, appended to `out`.
void appendPngChunk(std::string& out, std::string_view type, std::string_view body);

}  // namespace superpixels
