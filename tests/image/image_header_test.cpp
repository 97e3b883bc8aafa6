#include "image/image_header.hpp"

#include <sys/resource.h>

#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/image_data.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

std::string encoded(const std::string& extension, const cv::Mat& image) {
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(cv::imencode(extension, image, bytes)) << extension;
  return std::string(bytes.begin(), bytes.end());
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(folder / "image", c.bytes);
    const ImageHeader header = readImageHeader((folder / "image").string());
    ASSERT_TRUE(header.ok) << header.reason;
    EXPECT_EQ(header.width, 7);
    EXPECT_EQ(header.height, 5);
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
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"text", "just some text\n"},
      {"tiff", std::string("II*\0\x08\0\0\0", 8)},
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
