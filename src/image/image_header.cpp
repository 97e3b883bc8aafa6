#include "image/image_header.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <istream>
#include <optional>

#include "image/png_structure.hpp"
#include "image/regular_file.hpp"

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

// The length of the stream, leaving it at its start.
std::int64_t streamLength(std::istream& in) {
  in.clear();
  in.seekg(0, std::ios::end);
  const std::int64_t length = in.tellg();
  in.seekg(0);
  return length;
}

// A TIFF's directory: classic (II or MM, 42, 4-byte offsets, 12-byte entries) or BigTIFF (43,
// 8-byte offsets, 20-byte entries), integers in the byte order the first two bytes name.
class TiffFile {
 public:
  TiffFile(std::istream& in, std::int64_t length, bool bigEndianOrder, bool big)
      : in_(in), length_(length), bigEndianOrder_(bigEndianOrder), big_(big) {}

  // One directory entry of a tag asked for: its type, number of values and the value field (the
  // values when they fit in it, their offset otherwise).
  struct Entry {
    std::uint16_t type = 0;
    std::uint64_t count = 0;
    unsigned char field[8] = {};
    bool present = false;
  };

  // Tags readDirectory looks for.
  static constexpr std::size_t tagCount = 12;

  // Reads the header and the first directory, keeping the entries of `tags`. Returns a refusal, or
  // an empty string.
  std::string readDirectory(const std::array<std::uint16_t, tagCount>& tags,
                            std::array<Entry, tagCount>& found) {
    unsigned char header[16];
    if (!readAt(0, header, big_ ? 16 : 8)) return "truncated TIFF header";
    if (big_ && (number(header + 4, 2) != 8 || number(header + 6, 2) != 0)) {
      return "damaged TIFF header: unknown BigTIFF offset size";
    }
    const std::uint64_t directory = big_ ? number(header + 8, 8) : number(header + 4, 4);
    unsigned char countBytes[8];
    if (directory < (big_ ? 16u : 8u) || !readAt(directory, countBytes, countSize())) {
      return "damaged TIFF header: directory outside the file";
    }
    const std::uint64_t entries = number(countBytes, countSize());
    const std::uint64_t entrySize = big_ ? 20 : 12;
    if (entries == 0) return "damaged TIFF header: empty directory";
    if (entries > static_cast<std::uint64_t>(length_) / entrySize ||
        directory + countSize() + entries * entrySize > static_cast<std::uint64_t>(length_)) {
      return "truncated TIFF header: directory cut short";
    }
    in_.seekg(static_cast<std::streamoff>(directory + countSize()));
    for (std::uint64_t i = 0; i < entries; ++i) {
      unsigned char b[20];
      if (!readBytes(in_, b, entrySize)) return "truncated TIFF header: directory cut short";
      const std::uint16_t tag = static_cast<std::uint16_t>(number(b, 2));
      for (std::size_t t = 0; t < tags.size(); ++t) {
        if (tag != tags[t]) continue;
        // The decoder would take one of two entries of a tag; which one is its choice.
        if (found[t].present) return "damaged TIFF header: tag " + std::to_string(tag) + " twice";
        found[t].present = true;
        found[t].type = static_cast<std::uint16_t>(number(b + 2, 2));
        found[t].count = big_ ? number(b + 4, 8) : number(b + 4, 4);
        std::copy(b + (big_ ? 12 : 8), b + entrySize, found[t].field);
      }
    }
    return {};
  }

  // The one value of an integer entry (a width, a height), or -1.
  std::int64_t single(const Entry& entry) {
    const int size = integerSize(entry.type);
    if (!entry.present || entry.count != 1 || size == 0) return -1;
    return static_cast<std::int64_t>(number(entry.field, size));
  }

  // Reads `n` values of an integer array entry (strip offsets, byte counts) from value `first` on
  // into `into`. False when the entry is no such array or not whole inside the file.
  bool values(const Entry& entry, std::uint64_t first, std::size_t n, std::uint64_t* into) {
    const int size = integerSize(entry.type);
    if (size == 0 || entry.count > static_cast<std::uint64_t>(length_) / size) return false;
    const std::uint64_t bytes = entry.count * size;
    const int fieldSize = big_ ? 8 : 4;
    unsigned char buffer[8 * valuesPerPiece];
    const unsigned char* b = entry.field + first * size;
    if (bytes > static_cast<std::uint64_t>(fieldSize)) {
      const std::uint64_t at = number(entry.field, fieldSize);
      if (at > static_cast<std::uint64_t>(length_) || bytes > length_ - at) return false;
      if (!readAt(at + first * size, buffer, static_cast<int>(n * size))) return false;
      b = buffer;
    }
    for (std::size_t i = 0; i < n; ++i) into[i] = number(b + i * size, size);
    return true;
  }

  // Most values `values` reads at once.
  static constexpr std::size_t valuesPerPiece = 512;

 private:
  int countSize() const { return big_ ? 8 : 2; }

  // Bytes per value of the unsigned integer types SHORT (3), LONG (4) and LONG8 (16); 0 for any
  // other type.
  static int integerSize(std::uint16_t type) {
    return type == 3 ? 2 : type == 4 ? 4 : type == 16 ? 8 : 0;
  }

  std::uint64_t number(const unsigned char* b, int bytes) const {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | b[bigEndianOrder_ ? i : bytes - 1 - i];
    return value;
  }

  bool readAt(std::uint64_t at, unsigned char* into, int count) {
    if (at > static_cast<std::uint64_t>(length_)) return false;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(at));
    return readBytes(in_, into, count);
  }

  std::istream& in_;
  std::int64_t length_;
  bool bigEndianOrder_;
  bool big_;
};

// The first directory (the page the decoder reads): ImageWidth and ImageLength, Orientation, then
// the strips or tiles of image data, every one of which must lie inside the file. A TIFF cut short
// otherwise fails in the decoder without a reason.
ImageHeader tiffHeader(std::istream& in, bool bigEndianOrder, bool big) {
  TiffFile file(in, streamLength(in), bigEndianOrder, big);
  enum {
    imageWidth,
    imageLength,
    bitsPerSample,
    photometric,
    orientation,
    samplesPerPixel,
    stripOffsets,
    stripBytes,
    tileOffsets,
    tileBytes,
    tileWidth,
    tileLength
  };
  std::array<TiffFile::Entry, TiffFile::tagCount> entries;
  if (std::string why =
          file.readDirectory({256, 257, 258, 262, 274, 277, 273, 279, 324, 325, 322, 323}, entries);
      !why.empty()) {
    return refused(std::move(why));
  }
  std::int64_t w = file.single(entries[imageWidth]);
  std::int64_t h = file.single(entries[imageLength]);
  if (w < 0 || h < 0) return refused("damaged TIFF header: no usable image width and length");
  // Orientations 5 to 8 (the rows are the picture's columns) make the decoder turn the image, so
  // that its width is the stored length. Values outside 1 to 8 it ignores.
  if (entries[orientation].present) {
    const std::int64_t turn = file.single(entries[orientation]);
    if (turn < 0) return refused("damaged TIFF header: unusable orientation");
    if (turn >= 5 && turn <= 8) std::swap(w, h);
  }
  // What the decoder refuses with lines of its own on standard error: no photometric
  // interpretation, more than 4 samples per pixel, a sample depth it does not know (the first
  // value of the per-sample list counts; by default 1 sample of 1 bit).
  if (file.single(entries[photometric]) < 0) {
    return refused("damaged TIFF header: no usable photometric interpretation");
  }
  const std::int64_t samples =
      entries[samplesPerPixel].present ? file.single(entries[samplesPerPixel]) : 1;
  if (samples < 0) return refused("damaged TIFF header: unusable samples per pixel");
  if (samples < 1 || samples > 4) {
    return refused("TIFF with " + std::to_string(samples) + " samples per pixel is not read");
  }
  std::uint64_t bits = 1;
  if (entries[bitsPerSample].present && !file.values(entries[bitsPerSample], 0, 1, &bits)) {
    return refused("damaged TIFF header: unusable bits per sample");
  }
  if (bits != 1 && bits != 8 && bits != 10 && bits != 12 && bits != 14 && bits != 16 &&
      bits != 32 && bits != 64) {
    return refused("TIFF with " + std::to_string(bits) + " bits per sample is not read");
  }
  const bool tiled = entries[tileOffsets].present;
  std::int64_t tileW = 0, tileH = 0;
  if (tiled) {
    // The decoder allocates one whole tile, whatever the image's size: a 1 x 1 image may declare
    // a tile of 16000 x 16000 pixels.
    tileW = file.single(entries[tileWidth]);
    tileH = file.single(entries[tileLength]);
    if (tileW <= 0 || tileH <= 0) return refused("damaged TIFF header: no usable tile size");
  }
  const auto withTiles = [&](ImageHeader header) {
    header.tileWidth = tileW;
    header.tileHeight = tileH;
    return header;
  };
  const TiffFile::Entry& offsets = entries[tiled ? tileOffsets : stripOffsets];
  const TiffFile::Entry& bytes = entries[tiled ? tileBytes : stripBytes];
  if (!offsets.present || offsets.count == 0) {
    return refused("damaged TIFF header: no image data offsets");
  }
  // Without byte counts (a writer that broke the rules) the decoder estimates them; there is
  // nothing to check the offsets against.
  if (!bytes.present) return withTiles(sized(w, h));
  if (bytes.count != offsets.count) {
    return refused("damaged TIFF header: offsets and byte counts differ in number");
  }
  const std::uint64_t length = static_cast<std::uint64_t>(streamLength(in));
  // In pieces: the number of strips is the file's claim, not a size to allocate.
  std::uint64_t starts[TiffFile::valuesPerPiece], counts[TiffFile::valuesPerPiece];
  for (std::uint64_t first = 0; first < offsets.count; first += TiffFile::valuesPerPiece) {
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(TiffFile::valuesPerPiece, offsets.count - first));
    if (!file.values(offsets, first, n, starts) || !file.values(bytes, first, n, counts)) {
      return refused("damaged TIFF header: image data offsets outside the file");
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (starts[i] > length || counts[i] > length - starts[i]) {
        return refused("truncated TIFF: image data cut short");
      }
    }
  }
  return withTiles(sized(w, h));
}

// What the decoder reads of a WebP file at most, in bytes: OpenCV refuses larger files, with lines
// of its own on standard error, unless OPENCV_IMGCODECS_WEBP_MAX_FILE_SIZE allows more. That
// setting is honoured when it is plain digits; any other spelling of it leaves the decision to the
// decoder.
std::optional<std::uint64_t> webpDecoderLimit() {
  const char* setting = std::getenv("OPENCV_IMGCODECS_WEBP_MAX_FILE_SIZE");
  if (setting == nullptr) return std::uint64_t{64} << 20;
  const std::string text = setting;
  if (text.empty() || text.size() > 18 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoull(text);
}

// The size in a VP8 key frame header (10 bytes: frame tag, start code 9D 01 2A, 14-bit width and
// height) or a VP8L header (5 bytes: signature 2F, then 14-bit width - 1 and height - 1 and a
// 3-bit version 0). The decoder's image has exactly this size.
ImageHeader webpFrameSize(std::istream& in, bool lossless, std::uint32_t chunkSize) {
  unsigned char b[10];
  if (lossless) {
    if (chunkSize < 5 || !readBytes(in, b, 5)) return refused("truncated WebP frame header");
    const std::uint32_t bits = littleEndian(b + 1, 4);
    if (b[0] != 0x2F || bits >> 29 != 0) return refused("damaged WebP frame header");
    return sized((bits & 0x3FFF) + 1, (bits >> 14 & 0x3FFF) + 1);
  }
  if (chunkSize < 10 || !readBytes(in, b, 10)) return refused("truncated WebP frame header");
  if ((b[0] & 1) != 0 || b[3] != 0x9D || b[4] != 0x01 || b[5] != 0x2A) {
    return refused("damaged WebP frame header: no key frame");
  }
  return sized(littleEndian(b + 6, 2) & 0x3FFF, littleEndian(b + 8, 2) & 0x3FFF);
}

// "RIFF", the size of what follows, "WEBP", then chunks (four-letter name, 32-bit size, data padded
// to an even length). A simple file holds one "VP8 " (lossy) or "VP8L" (lossless) chunk; an
// extended one starts with "VP8X" (flags, canvas size) and holds its image chunk among others
// (alpha, colour profile, metadata). The RIFF size and the image chunk must lie inside the file.
ImageHeader webpHeader(std::istream& in) {
  const std::uint64_t length = static_cast<std::uint64_t>(streamLength(in));
  unsigned char b[30];
  // The decoder reads the first 32 bytes before anything else and fails, with a line of its own,
  // on a shorter file.
  if (length < 32 || !readBytes(in, b, 30)) return refused("truncated WebP header");
  if (const std::optional<std::uint64_t> limit = webpDecoderLimit(); limit && length > *limit) {
    return refused("WebP file of " + std::to_string(length) + " bytes, more than the decoder's " +
                   std::to_string(*limit));
  }
  const std::uint64_t end = 8 + std::uint64_t{littleEndian(b + 4, 4)};
  if (end < 20) return refused("damaged WebP header: RIFF size too small");
  if (end > length) return refused("truncated WebP: shorter than its RIFF size");
  const std::string first(reinterpret_cast<const char*>(b + 12), 4);
  // Chunk by chunk from offset 12 until the image chunk; the first must be VP8, VP8L or VP8X.
  std::optional<ImageHeader> canvas;
  if (first == "VP8X") {
    if (littleEndian(b + 16, 4) < 10) return refused("damaged WebP header: VP8X chunk too short");
    if ((b[20] & 0x02) != 0) return refused("animated WebP is not read");
    canvas = sized(littleEndian(b + 24, 3) + 1, littleEndian(b + 27, 3) + 1);
  } else if (first != "VP8 " && first != "VP8L") {
    return refused("damaged WebP header: no VP8, VP8L or VP8X chunk first");
  }
  for (std::uint64_t at = 12;;) {
    unsigned char head[8];
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    if (at + 8 > end || !readBytes(in, head, 8)) return refused("truncated WebP: no image data");
    const std::string name(reinterpret_cast<const char*>(head), 4);
    const std::uint64_t size = littleEndian(head + 4, 4);
    if (size > end - at - 8) return refused("truncated WebP: chunk " + name + " cut short");
    if (name == "ANIM" || name == "ANMF") return refused("animated WebP is not read");
    if (name == "VP8 " || name == "VP8L") {
      const ImageHeader frame = webpFrameSize(in, name == "VP8L", static_cast<std::uint32_t>(size));
      if (!frame.ok || !canvas) return frame;
      if (frame.width != canvas->width || frame.height != canvas->height) {
        return refused("damaged WebP header: image and canvas differ in size");
      }
      return *canvas;
    }
    at += 8 + size + (size & 1);
  }
}

}  // namespace

ImageHeader readImageHeader(const std::string& path) {
  const RegularFile file(path);
  if (!file.ok()) return refused(file.error());
  RegularFileBuffer buffer(file);
  std::istream in(&buffer);
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
  // "II" (little-endian) or "MM" (big-endian), then 42, or 43 for BigTIFF.
  if (got >= 4 &&
      (std::equal(magic, magic + 4, "II*\0") || std::equal(magic, magic + 4, "MM\0*"))) {
    return tiffHeader(in, magic[0] == 'M', false);
  }
  if (got >= 4 &&
      (std::equal(magic, magic + 4, "II+\0") || std::equal(magic, magic + 4, "MM\0+"))) {
    return tiffHeader(in, magic[0] == 'M', true);
  }
  if (got >= 4 && std::equal(magic, magic + 4, "RIFF")) {
    unsigned char form[12] = {};
    in.read(reinterpret_cast<char*>(form), sizeof form);
    in.clear();
    in.seekg(0);
    if (std::equal(form + 8, form + 12, "WEBP")) return webpHeader(in);
  }
  return refused("not a PNG, JPEG, BMP, PNM, TIFF or WebP image");
}

}  // namespace superpixels
