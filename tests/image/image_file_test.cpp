// Reading image files as the tool reads them: three 8-bit channels whatever the file holds, the
// pixel limit applied before decoding, and failures that say why.

#include <sys/stat.h>

#include <cerrno>

#include <opencv2/imgcodecs.hpp>

#include "superpixels/io.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

TEST(ReadImage, GreyScaleFileGivesThreeEqualChannels) {
  TempFolder folder;
  const cv::Mat grey = makeImage(6, 3, [](int x, int y) { return cv::Vec3b(40 * x + y, 0, 0); });
  std::vector<cv::Mat> planes;
  cv::split(grey, planes);
  const std::string path = (folder / "grey.png").string();
  ASSERT_TRUE(cv::imwrite(path, planes[0]));

  const ImageFile image = readImage(path);
  ASSERT_TRUE(image.ok()) << image.error;
  ASSERT_EQ(image.bgr.size(), cv::Size(6, 3));
  ASSERT_EQ(image.bgr.type(), CV_8UC3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 6; ++x) {
      const std::uint8_t value = static_cast<std::uint8_t>(40 * x + y);
      ASSERT_EQ(image.bgr.at<cv::Vec3b>(y, x), cv::Vec3b(value, value, value))
          << "first differing pixel x=" << x << " y=" << y;
    }
  }
}

// Files that cannot be opened carry the system's error number, so that callers can tell a missing
// file from a folder or a file they may not read; files that are no images do not.
TEST(ReadImage, FailuresSayWhyAndCarryTheSystemErrorWhenTheFileCannotBeOpened) {
  TempFolder folder;
  writeFile(folder / "garbage.png", "this is not an image at all\n");
  const ImageFile garbage = readImage((folder / "garbage.png").string());
  EXPECT_FALSE(garbage.ok());
  EXPECT_EQ(garbage.error, "cannot decode image: not a PNG, JPEG, BMP, PNM, TIFF or WebP image");
  EXPECT_EQ(garbage.systemError, 0);
  EXPECT_TRUE(garbage.bgr.empty());

  const ImageFile missing = readImage((folder / "missing.png").string());
  EXPECT_EQ(missing.error, "cannot open file: No such file or directory");
  EXPECT_EQ(missing.systemError, ENOENT);

  const ImageFile directory = readImage(folder.str());
  EXPECT_EQ(directory.error, "cannot open file: Is a directory");
  EXPECT_EQ(directory.systemError, EISDIR);
}

// The limit is applied to the header, before the decoder could allocate, and to the decoded image.
TEST(ReadImage, RefusesImagesAboveThePixelLimit) {
  TempFolder folder;
  const std::string small = (folder / "small.png").string();
  ASSERT_TRUE(cv::imwrite(small, noiseImage(7, 5)));
  EXPECT_TRUE(readImage(small, 35).ok());
  const ImageFile refused = readImage(small, 34);
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.error, "image is 7 x 5 pixels, more than the limit of 34");

  writeFile(folder / "huge.png", pngDeclaring(100000, 100000));
  EXPECT_EQ(readImage((folder / "huge.png").string(), maxPixelCount).error,
            "image is 100000 x 100000 pixels, more than the limit of 2147483647");
  EXPECT_EQ(readImage((folder / "huge.png").string()).error,
            "image is 100000 x 100000 pixels, more than the limit of 100000000")
      << "the tool's default limit";
  writeFile(folder / "widest.png", pngDeclaring(0xFFFFFFFFu, 0xFFFFFFFFu));
  EXPECT_FALSE(readImage((folder / "widest.png").string(), maxPixelCount).ok()) << "no overflow";
}

// A FIFO would block the reader (open() itself waits for a writer), a device never end: both are
// refused without a byte read, as images and as masks.
TEST(ReadImage, RefusesSpecialFilesWithoutReadingThem) {
  TempFolder folder;
  ASSERT_EQ(::mkfifo((folder / "fifo.png").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", folder / "mask.png");
  const struct {
    const char* name;
    const char* error;
  } cases[] = {{"fifo.png", "not a regular file (a FIFO)"},
               {"mask.png", "not a regular file (a character device)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = (folder / c.name).string();
    EXPECT_EQ(readImage(path).error, c.error);
    EXPECT_EQ(readMask(path).error, c.error);
  }
  // A 1 x 1 image in a file of 20 MiB (sparse: nothing is written, and nothing must be read).
  ASSERT_TRUE(cv::imwrite((folder / "long.png").string(), noiseImage(1, 1)));
  fs::resize_file(folder / "long.png", 20 << 20);
  EXPECT_EQ(readImage((folder / "long.png").string()).error,
            "file of 20971520 bytes, more than the limit of 16777256 for an image of 1 x 1 pixels");
}

// Damaged data is an error that says what the decoder found, and the decoders print nothing of
// their own: a run's console holds the tool's lines only.
TEST(ReadImage, DamagedDataIsAnErrorAndDecodersStaySilent) {
  TempFolder folder;
  const cv::Mat photo = noiseImage(64, 48);
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(cv::imencode(".jpg", photo, bytes));
  std::string jpeg(bytes.begin(), bytes.end());
  // A restart marker in the middle of the scan data, where none belongs.
  const std::size_t scan = jpeg.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  std::string strayRestart = jpeg;
  strayRestart.replace((scan + jpeg.size()) / 2, 2, "\xFF\xD3");
  ASSERT_TRUE(cv::imencode(".png", photo, bytes));
  const std::string png(bytes.begin(), bytes.end());
  // A colour profile libpng finds too short and warns about; the pixels do not depend on it.
  const std::string withProfile =
      png.substr(0, 33) + pngChunk("iCCP", std::string("sRGB\0\0garbage", 13)) + png.substr(33);
  // One row fewer declared than the image data holds, with the header's CRC right.
  const std::string extraRows = png.substr(0, 8) + pngHeaderChunk(64, 47, 8, 2) + png.substr(33);
  const struct {
    const char* name;
    std::string bytes;
    const char* error;
  } cases[] = {
      {"stray restart marker", strayRestart,
       "damaged image data: Corrupt JPEG data: premature end of data segment"},
      {"more image data than rows", extraRows, "damaged image data: IDAT: Too much image data"},
      {"unreadable colour profile", withProfile, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(folder / "image", c.bytes);
    ::testing::internal::CaptureStderr();
    const ImageFile image = readImage((folder / "image").string());
    const MaskFile mask = readMask((folder / "image").string());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(image.error, c.error);
    EXPECT_EQ(mask.error, c.error);
    if (image.ok()) {
      EXPECT_EQ(cv::norm(image.bgr, photo, cv::NORM_INF), 0);
    }
  }
}

}  // namespace
}  // namespace superpixels::testing
