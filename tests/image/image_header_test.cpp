#include "image/image_header.hpp"

#include <sys/resource.h>

#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/image_data.hpp"
#include "superpixels/io.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

std::string encoded(const std::string& extension, const cv::Mat& image,
                    const std::vector<int>& parameters = {}) {
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(cv::imencode(extension, image, bytes, parameters)) << extension;
  return std::string(bytes.begin(), bytes.end());
}

// An uncompressed 8-bit grey TIFF made by hand, in either byte order, classic or BigTIFF: header,
// pixel data, one directory whose entries are in tag order. `rowsPerStrip` below `height` gives
// several strips, whose offsets and byte counts then are arrays outside the directory. An
// orientation other than 0 is recorded too.
std::string handMadeTiff(bool bigEndianOrder, bool big, std::uint32_t width, std::uint32_t height,
                         std::uint32_t rowsPerStrip, std::uint16_t orientation = 0) {
  const auto number = [&](std::uint64_t value, int bytes) {
    std::string b(bytes, '\0');
    for (int i = 0; i < bytes; ++i) {
      b[bigEndianOrder ? bytes - 1 - i : i] = static_cast<char>(value >> (8 * i));
    }
    return b;
  };
  const int offsetSize = big ? 8 : 4;
  std::string file = std::string(bigEndianOrder ? "MM" : "II") + number(big ? 43 : 42, 2);
  if (big) file += number(8, 2) + number(0, 2);
  const std::size_t directoryField = file.size();
  file += number(0, offsetSize);  // the directory's offset, filled in below
  const std::uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
  std::string offsets, counts;
  for (std::uint32_t strip = 0; strip < strips; ++strip) {
    const std::uint32_t rows = std::min(rowsPerStrip, height - strip * rowsPerStrip);
    offsets += number(file.size(), 4);
    counts += number(rows * width, 4);
    for (std::uint32_t i = 0; i < rows * width; ++i) file += static_cast<char>(strip * 40 + i);
  }
  // Arrays that do not fit in an entry's value field go before the directory.
  const auto array = [&](const std::string& values) {
    if (values.size() <= static_cast<std::size_t>(offsetSize)) {
      return values + std::string(offsetSize - values.size(), '\0');
    }
    if (file.size() % 2) file += '\0';
    const std::string field = number(file.size(), offsetSize);
    file += values;
    return field;
  };
  const std::string offsetsField = array(offsets), countsField = array(counts);
  if (file.size() % 2) file += '\0';
  file.replace(directoryField, offsetSize, number(file.size(), offsetSize));
  const auto entry = [&](int tag, int type, std::uint32_t count, const std::string& field) {
    return number(tag, 2) + number(type, 2) + number(count, big ? 8 : 4) + field;
  };
  const auto shortValue = [&](std::uint16_t v) {
    return number(v, 2) + std::string(offsetSize - 2, '\0');
  };
  const auto longValue = [&](std::uint32_t v) {
    return number(v, 4) + std::string(offsetSize - 4, '\0');
  };
  std::vector<std::string> entries = {
      entry(256, 4, 1, longValue(width)), entry(257, 3, 1, shortValue(height)),
      entry(258, 3, 1, shortValue(8)),    entry(259, 3, 1, shortValue(1)),
      entry(262, 3, 1, shortValue(1)),    entry(273, 4, strips, offsetsField),
      entry(277, 3, 1, shortValue(1)),    entry(278, 4, 1, longValue(rowsPerStrip)),
      entry(279, 4, strips, countsField)};
  if (orientation != 0)
    entries.insert(entries.begin() + 6, entry(274, 3, 1, shortValue(orientation)));
  file += number(entries.size(), big ? 8 : 2);
  for (const std::string& e : entries) file += e;
  return file + number(0, offsetSize);  // no next directory
}

std::string littleEndian32(std::uint32_t value) {
  return std::string{static_cast<char>(value), static_cast<char>(value >> 8),
                     static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
}

// A WebP file of the given chunks behind its RIFF header.
std::string webpFile(const std::string& chunks) {
  return "RIFF" + littleEndian32(static_cast<std::uint32_t>(chunks.size() + 4)) + "WEBP" + chunks;
}

// A chunk: name, size, data padded to an even length.
std::string webpChunk(const std::string& name, const std::string& data) {
  return name + littleEndian32(static_cast<std::uint32_t>(data.size())) + data +
         (data.size() % 2 ? std::string(1, '\0') : "");
}

// The chunks of an encoded WebP file, after its 12-byte RIFF header.
std::string chunksOf(const std::string& webp) { return webp.substr(12); }

// A VP8X chunk: flags (0x02 animation, 0x10 alpha), the canvas width and height.
std::string vp8x(std::uint8_t flags, std::uint32_t width, std::uint32_t height) {
  return webpChunk("VP8X", std::string{static_cast<char>(flags), 0, 0, 0} +
                               littleEndian32(width - 1).substr(0, 3) +
                               littleEndian32(height - 1).substr(0, 3));
}

// The size every encoding of a 7 x 5 image declares, as the decoder would see it.
TEST(ImageHeader, ReadsTheSizeOfEveryAcceptedFormat) {
  TempFolder folder;
  const cv::Mat colour = noiseImage(7, 5);
  cv::Mat grey, deep;
  cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
  colour.convertTo(deep, CV_16UC3, 257.0);
  struct Case {
    const char* name;
    std::string bytes;
  };
  const std::string bmp = encoded(".bmp", colour);
  std::string topDownBmp = bmp;  // height -5: rows stored top to bottom
  topDownBmp.replace(22, 4, std::string("\xfb\xff\xff\xff", 4));
  const Case cases[] = {
      {"png", encoded(".png", colour)},
      {"grey png", encoded(".png", grey)},
      {"16-bit png", encoded(".png", deep)},
      {"jpeg", encoded(".jpg", colour)},
      {"jpeg with fill bytes and an extra segment",
       "\xff\xd8\xff\xff\xfe" + std::string("\0\x05hi!", 5) + encoded(".jpg", colour).substr(2)},
      {"bmp", bmp},
      {"top-down bmp", topDownBmp},
      {"ppm", encoded(".ppm", colour)},
      {"pgm with comments", "P5\n# made by hand\n7 # width\n5\n255\n" + std::string(35, 'x')},
      {"tiff", encoded(".tif", colour)},
      {"grey tiff", encoded(".tif", grey)},
      {"16-bit tiff", encoded(".tif", deep)},
      {"big-endian tiff, one strip", handMadeTiff(true, false, 7, 5, 5)},
      {"little-endian tiff, a strip per row", handMadeTiff(false, false, 7, 5, 1)},
      {"big-endian tiff, a strip per two rows", handMadeTiff(true, false, 7, 5, 2)},
      {"BigTIFF", handMadeTiff(false, true, 7, 5, 5)},
      {"big-endian BigTIFF, a strip per row", handMadeTiff(true, true, 7, 5, 1)},
      {"tiff stored upside down", handMadeTiff(false, false, 7, 5, 5, 3)},
      {"tiff stored turned, which the decoder turns back", handMadeTiff(false, false, 5, 7, 5, 6)},
      {"tiff stored turned, big-endian", handMadeTiff(true, false, 5, 7, 2, 8)},
      {"lossy webp", encoded(".webp", colour, {cv::IMWRITE_WEBP_QUALITY, 90})},
      {"lossless webp", encoded(".webp", colour, {cv::IMWRITE_WEBP_QUALITY, 101})},
      {"extended webp",
       webpFile(vp8x(0, 7, 5) + webpChunk("EXIF", "odd") +
                chunksOf(encoded(".webp", colour, {cv::IMWRITE_WEBP_QUALITY, 101})))},
      {"webp with bytes after its RIFF size", encoded(".webp", colour) + "trailing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(folder / "image", c.bytes);
    const ImageHeader header = readImageHeader((folder / "image").string());
    ASSERT_TRUE(header.ok) << header.reason;
    EXPECT_EQ(header.width, 7);
    EXPECT_EQ(header.height, 5);
    // The decoder agrees: the pixel limit holds for what it makes.
    EXPECT_EQ(cv::imread((folder / "image").string(), cv::IMREAD_COLOR).size(), cv::Size(7, 5));
  }
  writeFile(folder / "huge", pngDeclaring(100000, 4000000000u));
  const ImageHeader huge = readImageHeader((folder / "huge").string());
  ASSERT_TRUE(huge.ok) << huge.reason;
  EXPECT_EQ(huge.width, 100000);
  EXPECT_EQ(huge.height, 4000000000);
}

TEST(ImageHeader, RefusesOtherFormatsAndDamagedHeadersWithAReason) {
  TempFolder folder;
  const std::string png = encoded(".png", noiseImage(7, 5));
  const std::string jpeg = encoded(".jpg", noiseImage(7, 5));
  // Directory entries of this one, 12 bytes each, start 4 + 9 x 12 bytes before its end: width,
  // length, bits per sample (2), compression, photometric (4), strip offsets (5), samples per pixel
  // (6), rows per strip, strip byte counts (8).
  const std::string tiff = handMadeTiff(false, false, 7, 5, 1);
  const auto entryAt = [&](int entry) { return tiff.size() - 4 - (9 - entry) * 12; };
  std::string tiffWithoutWidth = tiff;
  tiffWithoutWidth.replace(entryAt(0), 2, "\x10\x01");  // tag 272
  std::string tiffWithTwoWidths = tiff;
  tiffWithTwoWidths.replace(entryAt(1), 2, std::string("\0\x01", 2));
  std::string tiffWithoutOffsets = tiff;
  tiffWithoutOffsets.replace(entryAt(5), 2, "\x13\x01");  // tag 275
  std::string tiffWithoutPhotometric = tiff;
  tiffWithoutPhotometric.replace(entryAt(4), 2, "\x07\x01");  // tag 263
  std::string fiveSamples = tiff;
  fiveSamples.replace(entryAt(6) + 8, 2, std::string("\x05\0", 2));
  std::string sevenBits = tiff;
  sevenBits.replace(entryAt(2) + 8, 2, std::string("\x07\0", 2));
  std::string manyStrips = tiff;
  for (const int entry : {5, 8}) manyStrips.replace(entryAt(entry) + 4, 4, "\xff\xff\xff\x0f");
  // The one strip's byte count (the last entry's value) claims 1000 bytes more than there are.
  std::string stripBeyondTheEnd = handMadeTiff(true, false, 7, 5, 5);
  stripBeyondTheEnd.replace(stripBeyondTheEnd.size() - 8, 4, std::string("\0\0\x04\x0b", 4));
  const std::string bigTiff = handMadeTiff(true, true, 7, 5, 2);
  const std::string lossless = encoded(".webp", noiseImage(7, 5), {cv::IMWRITE_WEBP_QUALITY, 101});
  const std::string lossy = encoded(".webp", noiseImage(7, 5), {cv::IMWRITE_WEBP_QUALITY, 90});
  std::string notKeyFrame = lossy;
  notKeyFrame[20] |= 1;  // the frame tag's first bit
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"text", "just some text\n"},
      {"gif", "GIF89a\x07\0\x05\0"},
      {"tiff header alone", std::string("II*\0\x08\0\0\0", 8)},
      {"tiff whose directory lies beyond its end", std::string("II*\0\xff\0\0\0", 8)},
      {"tiff cut in its directory", tiff.substr(0, tiff.size() - 20)},
      {"BigTIFF cut in its directory", bigTiff.substr(0, bigTiff.size() - 30)},
      {"tiff whose strip lies beyond its end", stripBeyondTheEnd},
      {"tiff claiming 268 million strips", manyStrips},
      {"tiff without a width", tiffWithoutWidth},
      {"tiff with two widths", tiffWithTwoWidths},
      {"tiff without strip offsets", tiffWithoutOffsets},
      {"tiff without photometric interpretation", tiffWithoutPhotometric},
      {"tiff with 5 samples per pixel", fiveSamples},
      {"tiff with 7 bits per sample", sevenBits},
      {"BigTIFF with 4-byte offsets",
       bigTiff.substr(0, 4) + std::string("\0\x04", 2) + bigTiff.substr(6)},
      {"webp shorter than the decoder's first read", lossless.substr(0, 31)},
      {"webp cut short", lossy.substr(0, lossy.size() - 1)},
      {"webp whose RIFF size is too small", "RIFF" + littleEndian32(4) + lossless.substr(8)},
      {"webp with another first chunk",
       webpFile(webpChunk("ICCP", "profile") + chunksOf(lossless))},
      {"animated webp", webpFile(vp8x(0x02, 7, 5) + webpChunk("ANIM", std::string(6, '\0')) +
                                 webpChunk("ANMF", std::string(40, '\0')))},
      {"webp with an animation frame but no animation flag",
       webpFile(vp8x(0, 7, 5) + webpChunk("ANMF", std::string(40, '\0')) + chunksOf(lossless))},
      {"extended webp whose canvas differs from its image",
       webpFile(vp8x(0, 8, 5) + chunksOf(lossless))},
      {"extended webp without image",
       webpFile(vp8x(0, 7, 5) + webpChunk("EXIF", std::string(30, 'x')))},
      {"lossy webp that is no key frame", notKeyFrame},
      {"png cut in its header", png.substr(0, 20)},
      {"png without IHDR first", png.substr(0, 12) + "IDAT" + png.substr(16)},
      {"png cut in its pixel data", png.substr(0, png.size() - 20)},
      {"png with a damaged IDAT", png.substr(0, 45) + "\x7f" + png.substr(46)},
      {"png of width 0", pngDeclaring(0, 5)},
      {"jpeg cut before its frame header", jpeg.substr(0, 30)},
      {"jpeg cut in its compressed data", jpeg.substr(0, jpeg.size() - 40)},
      {"jpeg whose scan comes first", std::string("\xff\xd8\xff\xda\0\x02", 6)},
      {"bmp cut short", std::string("BM\0\0\0\0", 6)},
      {"ppm without a size", "P6\n# no size\n"},
      {"P3 without a blank after it, which the decoder reads as another format", "P31 1 255\n1\n"},
      {"ppm of height 0", "P6 7 0 255\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(folder / "image", c.bytes);
    const ImageHeader header = readImageHeader((folder / "image").string());
    EXPECT_FALSE(header.ok);
    EXPECT_FALSE(header.reason.empty());
  }
  EXPECT_FALSE(readImageHeader((folder / "missing").string()).ok);
}

// The decoder refuses WebP files above its limit (64 MiB unless the environment says otherwise)
// with lines of its own; the header check refuses them first, with a reason.
TEST(ImageHeader, WebpAboveTheDecodersFileLimitIsRefused) {
  TempFolder folder;
  const std::string webp = encoded(".webp", noiseImage(7, 5), {cv::IMWRITE_WEBP_QUALITY, 101});
  writeFile(folder / "image.webp", webp);
  const std::string path = (folder / "image.webp").string();
  const char* variable = "OPENCV_IMGCODECS_WEBP_MAX_FILE_SIZE";
  ASSERT_EQ(::setenv(variable, std::to_string(webp.size() - 1).c_str(), 1), 0);
  const ImageHeader refused = readImageHeader(path);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.reason, "WebP file of " + std::to_string(webp.size()) +
                                " bytes, more than the decoder's " +
                                std::to_string(webp.size() - 1));
  ASSERT_EQ(::setenv(variable, std::to_string(webp.size()).c_str(), 1), 0);
  EXPECT_TRUE(readImageHeader(path).ok);
  ASSERT_EQ(::setenv(variable, "1MB", 1), 0);
  EXPECT_TRUE(readImageHeader(path).ok) << "a spelling it does not know leaves it to the decoder";
  ASSERT_EQ(::unsetenv(variable), 0);
  EXPECT_TRUE(readImageHeader(path).ok);
}

// The decoder allocates a TIFF's whole tile whatever the image's size: a 1 x 1 image whose one tile
// is 16000 x 16000 pixels would cost a gigabyte before it fails.
TEST(ImageHeader, TileSizeCountsAgainstThePixelLimit) {
  TempFolder folder;
  for (const bool big : {false, true}) {
    for (const bool bigEndianOrder : {false, true}) {
      SCOPED_TRACE(std::string(big ? "BigTIFF" : "TIFF") + (bigEndianOrder ? ", MM" : ", II"));
      // Entries as handMadeTiff writes them; four of them become the tile tags.
      std::string tiff = handMadeTiff(bigEndianOrder, big, 1, 1, 1);
      const std::size_t entrySize = big ? 20 : 12, field = big ? 12 : 8;
      const std::size_t first = tiff.size() - (big ? 8 : 4) - 9 * entrySize;
      const auto set = [&](int entry, std::size_t at, std::uint16_t value) {
        const char b[2] = {static_cast<char>(bigEndianOrder ? value >> 8 : value),
                           static_cast<char>(bigEndianOrder ? value : value >> 8)};
        tiff.replace(first + entry * entrySize + at, 2, b, 2);
      };
      set(3, 0, 322);  // compression -> TileWidth
      set(3, field, 16000);
      set(7, 0, 323);  // rows per strip -> TileLength, a SHORT
      set(7, 2, 3);
      set(7, field, 16000);
      set(5, 0, 324);  // strip offsets and byte counts -> tile offsets and byte counts
      set(8, 0, 325);
      writeFile(folder / "tiled.tif", tiff);
      const ImageHeader header = readImageHeader((folder / "tiled.tif").string());
      ASSERT_TRUE(header.ok) << header.reason;
      EXPECT_EQ(header.tileWidth, 16000);
      EXPECT_EQ(header.tileHeight, 16000);
      EXPECT_EQ(readImage((folder / "tiled.tif").string()).error,
                "TIFF tile is 16000 x 16000 pixels, more than the limit of 100000000");
    }
  }
}

// A chunk's length is the file's claim: a 60-byte file claiming a 2 GB chunk must not cost 2 GB.
TEST(ImageHeader, ChunkLengthsAreNotTrustedForMemory) {
  TempFolder folder;
  writeFile(folder / "claims.png", pngSignature + pngHeaderChunk(7, 5) + bigEndian32(0x7FFFFFF0u) +
                                       "IDAT" + std::string(16, 'x'));
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  const ImageHeader header = readImageHeader((folder / "claims.png").string());
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_FALSE(header.ok);
  EXPECT_EQ(header.reason, "truncated PNG: chunk IDAT cut short");
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024) << "KiB";
}

}  // namespace
}  // namespace superpixels::testing
