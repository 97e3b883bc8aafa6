#include "image/image_header.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

#include "image/png_structure.hpp"

namespace superpixels {

namespace {

ImageHeader refused(std::string reason) {
  ImageHeader header;
  header.reason = std::move(reason);
  return header;
}

ImageHeader sized(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) return refused("header declares an empty image");
  ImageHeader header;
  header.ok = true;
  header.width = width;
  header.height = height;
  return header;
}

std::uint32_t bigEndian(const unsigned char* b, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | b[i];
  return value;
}

std::uint32_t littleEndian(const unsigned char* b, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | b[i];
  return value;
}

bool readBytes(std::istream& in, unsigned char* into, std::streamsize count) {
  in.read(reinterpret_cast<char*>(into), count);
  return in.gcount() == count;
}

// The chunk list, walked to its end with every critical chunk's CRC checked: the decoder would
// fail on such damage too, but print lines of its own.
ImageHeader pngHeader(std::istream& in) {
  const PngStructure png = readPngStructure(in, true);
  if (!png.ok) return refused(png.reason);
  return sized(png.width, png.height);
}

// True when the end-of-image marker follows. Inside compressed data a 0xFF byte is always followed
// by 0x00 or a restart or other marker, so FF D9 can only be the real end.
bool reachesEndOfImage(std::istream& in) {
  char buffer[4096];
  bool afterFF = false;
  while (in) {
    in.read(buffer, sizeof buffer);
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      const unsigned char c = static_cast<unsigned char>(buffer[i]);
      if (afterFF && c == 0xD9) return true;
      afterFF = c == 0xFF;
    }
  }
  return false;
}

// Segments after the start marker: the first start-of-frame (C0 .. CF except C4, C8, CC) holds
// precision, height, width; the first start-of-scan begins the compressed data, which must reach
// the end-of-image marker. A JPEG cut short would otherwise decode, grey below the cut, with only
// the decoder's own warning.
ImageHeader jpegHeader(std::istream& in) {
  in.seekg(2);
  ImageHeader header = refused("damaged JPEG header: no frame header");
  for (;;) {
    unsigned char marker[2];
    if (!readBytes(in, marker, 1)) return refused("truncated JPEG header");
    if (marker[0] != 0xFF) return refused("damaged JPEG header: marker expected");
    do {
      if (!readBytes(in, marker + 1, 1)) return refused("truncated JPEG header");
    } while (marker[1] == 0xFF);  // fill bytes
    const unsigned char type = marker[1];
    if (type == 0x01 || (type >= 0xD0 && type <= 0xD7)) continue;  // no length field
    if (type == 0xD9) return refused("damaged JPEG header: no scan");
    unsigned char length[2];
    if (!readBytes(in, length, 2)) return refused("truncated JPEG header");
    const std::uint32_t segment = bigEndian(length, 2);
    if (segment < 2) return refused("damaged JPEG header: bad segment length");
    if (type == 0xDA) {
      if (!header.ok) return header;
      return reachesEndOfImage(in) ? header : refused("truncated JPEG: no end of image");
    }
    if (!header.ok && type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 &&
        type != 0xCC) {
      unsigned char frame[5];
      if (segment < 2 + sizeof frame || !readBytes(in, frame, sizeof frame)) {
        return refused("truncated JPEG frame header");
      }
      header = sized(bigEndian(frame + 3, 2), bigEndian(frame + 1, 2));
      if (!header.ok) return header;
      in.seekg(segment - 2 - sizeof frame, std::ios::cur);
      continue;
    }
    in.seekg(segment - 2, std::ios::cur);
  }
}

// File header (14 bytes), then the info header: its size, then width and height, 16-bit for the
// 12-byte core header, 32-bit signed otherwise (a negative height means top-down rows).
ImageHeader bmpHeader(std::istream& in) {
  unsigned char b[26];
  if (!readBytes(in, b, 22)) return refused("truncated BMP header");
  const std::uint32_t infoSize = littleEndian(b + 14, 4);
  if (infoSize == 12) return sized(littleEndian(b + 18, 2), littleEndian(b + 20, 2));
  if (infoSize < 16) return refused("damaged BMP header: unknown info header");
  if (!readBytes(in, b + 22, 4)) return refused("truncated BMP header");
  const std::int32_t width = static_cast<std::int32_t>(littleEndian(b + 18, 4));
  const std::int32_t height = static_cast<std::int32_t>(littleEndian(b + 22, 4));
  const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  return sized(width, rows);
}

// "P1" .. "P6", then width and height in decimal, separated by white space and "#" comments.
ImageHeader pnmHeader(std::istream& in) {
  in.seekg(2);
  std::array<std::int64_t, 2> size{};
  for (std::int64_t& value : size) {
    int c = in.get();
    while (c == '#' || std::isspace(c)) {
      if (c == '#') {
        while (c != '\n' && c != '\r' && c != EOF) c = in.get();
      }
      c = in.get();
    }
    if (!std::isdigit(c)) return refused("damaged PNM header: size expected");
    value = 0;
    for (; std::isdigit(c); c = in.get()) {
      value = value * 10 + (c - '0');
      if (value > 0xFFFFFFFFLL) return refused("damaged PNM header: size out of range");
    }
  }
  return sized(size[0], size[1]);
}

}  // namespace

ImageHeader readImageHeader(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return refused("file cannot be opened");
  return readImageHeader(in);
}

ImageHeader readImageHeader(std::istream& in) {
  unsigned char magic[8] = {};
  in.read(reinterpret_cast<char*>(magic), sizeof magic);
  const std::streamsize got = in.gcount();
  if (got == 0) return refused("empty file");
  in.clear();
  in.seekg(0);
  if (hasPngSignature(in)) return pngHeader(in);
  if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) return jpegHeader(in);
  if (got >= 2 && magic[0] == 'B' && magic[1] == 'M') return bmpHeader(in);
  // As the decoder tells PNM: a blank must follow, or it tries its other formats (DICOM, say).
  if (got >= 3 && magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6' && std::isspace(magic[2])) {
    return pnmHeader(in);
  }
  return refused("not a PNG, JPEG, BMP or PNM image");
}

}  // namespace superpixels
