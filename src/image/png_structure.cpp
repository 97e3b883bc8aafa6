#include "image/png_structure.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include <zlib.h>

namespace superpixels {

namespace {

PngStructure refused(std::string reason) {
  PngStructure png;
  png.reason = std::move(reason);
  return png;
}

std::uint32_t bigEndian(const unsigned char* b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
         std::uint32_t{b[3]};
}

bool readBytes(std::istream& in, unsigned char* into, std::streamsize count) {
  in.read(reinterpret_cast<char*>(into), count);
  return in.gcount() == count;
}

// The running CRC-32 register of PNG chunks, before its final inversion: zlib's crc32 (table
// driven, several times faster than a bit at a time; checking a photo's chunks took half as long
// as decoding it) inverts on entry and exit.
std::uint32_t crc32(std::uint32_t crc, const unsigned char* bytes, std::size_t count) {
  return ~static_cast<std::uint32_t>(::crc32_z(~crc, bytes, count));
}

}  // namespace

void appendPngChunk(std::string& out, std::string_view type, std::string_view body) {
  const std::size_t start = out.size();
  const std::uint32_t length = static_cast<std::uint32_t>(body.size());
  for (const int shift : {24, 16, 8, 0}) out += static_cast<char>(length >> shift);
  out.append(type).append(body);
  const std::uint32_t crc =
      ~crc32(0xFFFFFFFFu, reinterpret_cast<const unsigned char*>(out.data() + start + 4),
             out.size() - start - 4);
  for (const int shift : {24, 16, 8, 0}) out += static_cast<char>(crc >> shift);
}

std::string pngChunk(std::string_view type, std::string_view body) {
  std::string chunk;
  chunk.reserve(12 + body.size());
  appendPngChunk(chunk, type, body);
  return chunk;
}

namespace {

constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

PngContents readPngContents(std::string_view png) {
  PngContents contents;
  const auto* bytes = reinterpret_cast<const unsigned char*>(png.data());
  if (png.size() < 8 + 12 + 13 || !std::equal(bytes, bytes + 8, signature) ||
      png.substr(12, 4) != "IHDR") {
    return contents;
  }
  contents.width = bigEndian(bytes + 16);
  contents.height = bigEndian(bytes + 20);
  for (std::size_t at = 8; png.size() - at >= 12;) {
    const std::uint32_t length = bigEndian(bytes + at);
    if (length > png.size() - at - 12) return contents;
    const std::string_view type = png.substr(at + 4, 4);
    const std::string_view body = png.substr(at + 8, length);
    if (type == "IDAT") {
      contents.imageData.append(body);
    } else if (pngChunk(type, body) != png.substr(at, 12 + length)) {
      return contents;  // the CRC is wrong
    } else if (type == "tEXt") {
      const std::size_t nul = body.find('\0');
      if (nul != std::string_view::npos) {
        contents.texts.emplace_back(body.substr(0, nul), body.substr(nul + 1));
      }
    }
    at += 12 + length;
    if (type == "IEND") {
      contents.ok = at == png.size();
      return contents;
    }
  }
  return contents;
}

std::uint64_t pngFileBound(std::string_view head) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(head.data());
  if (head.size() < 24 || !std::equal(bytes, bytes + 8, signature) ||
      head.substr(12, 4) != "IHDR") {
    return 0;
  }
  const double raw = double(bigEndian(bytes + 20)) * (1.0 + 8.0 * double(bigEndian(bytes + 16)));
  const double bound = raw + raw / 100 + (16 << 20);
  // Declared sizes are at most 2^32 - 1 each: the bound may exceed what 64 bits hold.
  return bound >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max()
                         : static_cast<std::uint64_t>(bound);
}

void keepPixelChunks(std::string& png) {
  static constexpr std::string_view kept[] = {"IHDR", "PLTE", "tRNS", "IDAT", "eXIf", "IEND"};
  std::size_t to = 8;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::size_t size =
        12 + std::size_t{bigEndian(reinterpret_cast<const unsigned char*>(png.data() + at))};
    if (size > png.size() - at) break;
    const std::string_view type(png.data() + at + 4, 4);
    if (std::find(std::begin(kept), std::end(kept), type) != std::end(kept)) {
      if (to != at) std::memmove(png.data() + to, png.data() + at, size);
      to += size;
    }
    at += size;
    if (type == "IEND") break;
  }
  png.resize(to);
}

bool hasPngSignature(std::istream& in) {
  in.clear();
  in.seekg(0);
  unsigned char head[8] = {};
  const bool png = readBytes(in, head, sizeof head) && std::equal(head, head + 8, signature);
  in.clear();
  in.seekg(0);
  return png;
}

// Signature (8 bytes), then chunks: length, type, body, CRC (big-endian). IHDR comes first, with
// width and height; the list ends with IEND.
PngStructure readPngStructure(std::istream& in, bool checkCrc) {
  in.clear();
  in.seekg(0);
  unsigned char b[24];
  if (!readBytes(in, b, sizeof b)) return refused("truncated PNG header");
  if (std::string(reinterpret_cast<const char*>(b + 12), 4) != "IHDR") {
    return refused("damaged PNG header: no IHDR chunk first");
  }
  PngStructure png;
  png.width = bigEndian(b + 16);
  png.height = bigEndian(b + 20);
  in.seekg(8);
  unsigned char buffer[4096];
  for (;;) {
    unsigned char head[8];
    if (!readBytes(in, head, sizeof head)) return refused("truncated PNG: no IEND chunk");
    const std::uint32_t length = bigEndian(head);
    const std::string type(reinterpret_cast<const char*>(head + 4), 4);
    if (length > 0x7FFFFFFFu) return refused("damaged PNG: chunk length out of range");
    const bool critical = (head[4] & 0x20) == 0;
    unsigned char stored[4];
    if ((checkCrc && critical) || (type == "tEXt" && length <= maxPngTextBytes)) {
      // In pieces: the length is the file's claim, not a size to allocate. A text is kept.
      std::string text;
      std::uint32_t crc = crc32(0xFFFFFFFFu, head + 4, 4);
      for (std::uint32_t left = length; left > 0;) {
        const std::uint32_t piece = std::min<std::uint32_t>(left, sizeof buffer);
        if (!readBytes(in, buffer, piece)) {
          return refused("truncated PNG: chunk " + type + " cut short");
        }
        crc = crc32(crc, buffer, piece);
        if (type == "tEXt") text.append(reinterpret_cast<const char*>(buffer), piece);
        left -= piece;
      }
      if (!readBytes(in, stored, 4)) return refused("truncated PNG: chunk " + type + " cut short");
      const bool crcRight = ~crc == bigEndian(stored);
      if (!crcRight && checkCrc && critical) {
        return refused("damaged PNG: bad CRC in chunk " + type);
      }
      const std::size_t nul = text.find('\0');
      if (crcRight && nul != std::string::npos) {
        png.texts.emplace_back(text.substr(0, nul), text.substr(nul + 1));
      }
    } else {
      in.seekg(length, std::ios::cur);
      if (!readBytes(in, stored, 4)) return refused("truncated PNG: chunk " + type + " cut short");
    }
    if (type == "IEND") {
      png.ok = true;
      return png;
    }
  }
}

}  // namespace superpixels
