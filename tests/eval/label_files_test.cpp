// Reading segmentations for scoring: the tool's label files, ground-truth label images, and the
// text and .npy files numpy writes.

#include <sys/stat.h>

#include <algorithm>

#include <opencv2/imgcodecs.hpp>

#include "eval/label_files.hpp"
#include "eval/label_formats.hpp"
#include "support/files.hpp"

namespace superpixels::eval {
namespace {

using superpixels::testing::TempFolder;
using superpixels::testing::writeFile;
namespace fs = std::filesystem;

TEST(LabelFiles, ReadsLabelTextCompactingItsLabels) {
  TempFolder temp;
  writeFile(temp / "a.txt", "7\t7\t3\t\r\n3\t12\t12\t\r\n");
  LabelImage image;
  std::string error;
  ASSERT_TRUE(loadLabelImage((temp / "a.txt").string(), image, error)) << error;
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.count, 3);
  // Renumbered in order of value: 3 -> 0, 7 -> 1, 12 -> 2.
  EXPECT_EQ(image.labels, (std::vector<std::int32_t>{1, 1, 0, 0, 2, 2}));

  writeFile(temp / "b.txt", "0\t1\t\n");
  EXPECT_FALSE(loadLabelImage((temp / "b.txt").string(), image, error));
  EXPECT_EQ(error, "line 1: line feed without carriage return");
}

TEST(LabelFiles, ReadsLabelImagesOfOneChannelOnly) {
  TempFolder temp;
  cv::Mat wide(2, 2, CV_16U);
  wide.at<std::uint16_t>(0, 0) = 1000;
  wide.at<std::uint16_t>(0, 1) = 65535;
  wide.at<std::uint16_t>(1, 0) = 1000;
  wide.at<std::uint16_t>(1, 1) = 0;
  const std::string widePath = (temp / "wide.png").string();
  ASSERT_TRUE(cv::imwrite(widePath, wide));
  LabelImage image;
  std::string error;
  ASSERT_TRUE(loadLabelImage(widePath, image, error)) << error;
  // 0 -> 0, 1000 -> 1, 65535 -> 2.
  EXPECT_EQ(image.labels, (std::vector<std::int32_t>{1, 2, 1, 0}));
  EXPECT_EQ(image.width, 2);

  const std::string colourPath = (temp / "colour.png").string();
  ASSERT_TRUE(cv::imwrite(colourPath, cv::Mat(2, 2, CV_8UC3, cv::Scalar(1, 2, 3))));
  EXPECT_FALSE(loadLabelImage(colourPath, image, error));
  EXPECT_EQ(error, "not a single-channel 8- or 16-bit label image");

  writeFile(temp / "broken.png", "not a png");
  EXPECT_FALSE(loadLabelImage((temp / "broken.png").string(), image, error));
  EXPECT_EQ(error, "cannot decode image: not a PNG, JPEG, BMP, PNM, TIFF or WebP image");
  EXPECT_FALSE(loadLabelImage((temp / "missing.txt").string(), image, error));
  EXPECT_EQ(error, "cannot open file: No such file or directory");
}

// Every file is read as the tool reads images: a FIFO would block the run, a device never end, a
// map above the pixel limit cost gigabytes before its size is found not to match.
TEST(LabelFiles, SpecialFilesAndMapsAboveThePixelLimitAreRefusedUnread) {
  TempFolder temp;
  for (const char* name : {"fifo.txt", "fifo.npy", "fifo.png"}) {
    ASSERT_EQ(::mkfifo((temp / name).c_str(), 0600), 0);
  }
  fs::create_symlink("/dev/zero", temp / "zero.png");
  writeFile(temp / "wide.txt", "0\t0\t1\t\r\n");
  ASSERT_TRUE(cv::imwrite((temp / "wide.png").string(), cv::Mat(1, 3, CV_8U, cv::Scalar(4))));
  const struct {
    const char* name;
    std::int64_t maxPixels;
    const char* error;
  } cases[] = {
      {"fifo.txt", 100, "not a regular file (a FIFO)"},
      {"fifo.npy", 100, "not a regular file (a FIFO)"},
      {"fifo.png", 100, "not a regular file (a FIFO)"},
      {"zero.png", 100, "not a regular file (a character device)"},
      {"wide.txt", 2, "map is 3 x 1 labels, more than the limit of 2"},
      {"wide.png", 2, "image is 3 x 1 pixels, more than the limit of 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LabelImage image;
    std::string error;
    EXPECT_FALSE(loadLabelImage((temp / c.name).string(), image, error, c.maxPixels));
    EXPECT_EQ(error, c.error);
  }
  cv::Mat photo;
  std::string error;
  EXPECT_FALSE(loadPhoto((temp / "fifo.png").string(), photo, error));
  EXPECT_EQ(error, "not a regular file (a FIFO)");
}

// A .npy file of version 1.0 as numpy.save writes it: the header padded with spaces to a multiple
// of 64 bytes, then the values.
std::string npyFile(const std::string& descr, bool fortran, const std::string& shape,
                    const std::string& data) {
  std::string header = "{'descr': '" + descr +
                       "', 'fortran_order': " + (fortran ? "True" : "False") +
                       ", 'shape': " + shape + ", }";
  while ((10 + header.size() + 1) % 64 != 0) header += ' ';
  header += '\n';
  std::string file = "\x93NUMPY\x01";
  file += '\0';
  file += static_cast<char>(header.size() & 0xFF);
  file += static_cast<char>(header.size() >> 8);
  return file + header + data;
}

template <typename T>
std::string bytesOf(std::initializer_list<T> values, bool bigEndian = false) {
  std::string bytes;
  for (const T value : values) {
    const auto* p = reinterpret_cast<const char*>(&value);
    std::string one(p, sizeof(T));
    if (bigEndian) std::reverse(one.begin(), one.end());
    bytes += one;
  }
  return bytes;
}

TEST(LabelFormats, ReadsNpyArraysOfEveryIntegerTypeAndOrder) {
  LabelGrid grid;
  std::string error;
  // 2 rows, 3 columns: 0 1 2 / -1 7 2147483647.
  const std::vector<std::int32_t> expected{0, 1, 2, -1, 7, 2147483647};
  ASSERT_TRUE(
      parseNpy(npyFile("<i8", false, "(2, 3)", bytesOf<std::int64_t>({0, 1, 2, -1, 7, 2147483647})),
               grid, error))
      << error;
  EXPECT_EQ(grid.width, 3);
  EXPECT_EQ(grid.height, 2);
  EXPECT_EQ(grid.labels, expected);
  // Fortran order: the file runs down the columns. Big-endian 32-bit.
  ASSERT_TRUE(parseNpy(
      npyFile(">i4", true, "(2, 3)", bytesOf<std::int32_t>({0, -1, 1, 7, 2, 2147483647}, true)),
      grid, error))
      << error;
  EXPECT_EQ(grid.labels, expected);
  ASSERT_TRUE(parseNpy(npyFile("|u1", false, "(1, 2)", "\x05\xff"), grid, error)) << error;
  EXPECT_EQ(grid.labels, (std::vector<std::int32_t>{5, 255}));

  const auto refused = [&](const std::string& file) {
    LabelGrid untouched;
    return parseNpy(file, untouched, error) ? std::string("accepted") : error;
  };
  EXPECT_EQ(refused(npyFile("<f8", false, "(1, 1)", bytesOf<double>({1.0}))),
            "dtype <f8 is not an integer type");
  EXPECT_EQ(refused(npyFile("<i4", false, "(4,)", bytesOf<std::int32_t>({1, 2, 3, 4}))),
            "not a two-dimensional array of at least one value");
  EXPECT_EQ(refused(npyFile("<i4", false, "(2, 2)", bytesOf<std::int32_t>({1, 2, 3}))),
            "data cut short");
  EXPECT_EQ(refused(npyFile("<u4", false, "(1, 2)", bytesOf<std::uint32_t>({1, 2147483648u}))),
            "row 0, column 1: value does not fit in 32 bits");
  EXPECT_EQ(refused(npyFile("<i8", false, "(1, 1)", bytesOf<std::int64_t>({-2147483649LL}))),
            "row 0, column 0: value does not fit in 32 bits");
  EXPECT_EQ(refused("PK\x03\x04 a zip file"), "not a .npy file");
  EXPECT_EQ(refused(npyFile("<i4", false, "(1, 1)", "").substr(0, 20)), "truncated .npy header");
}

TEST(LabelFormats, ReadsTextAsNumpySavetxtWritesIt) {
  LabelGrid grid;
  std::string error;
  // savetxt's default: %.18e, blank-separated, LF; a header comment; CR LF and tabs work too.
  ASSERT_TRUE(
      parseNumberText("# labels\n"
                      "0.000000000000000000e+00 1.000000000000000000e+00\n"
                      "-1\t2147483647 # the largest\r\n"
                      "\n",
                      grid, error))
      << error;
  EXPECT_EQ(grid.width, 2);
  EXPECT_EQ(grid.height, 2);
  EXPECT_EQ(grid.labels, (std::vector<std::int32_t>{0, 1, -1, 2147483647}));

  const auto refused = [&](const std::string& text) {
    LabelGrid untouched;
    return parseNumberText(text, untouched, error) ? std::string("accepted") : error;
  };
  EXPECT_EQ(refused("1 2\n3\n"), "line 2: 1 values, line 1 has 2");
  EXPECT_EQ(refused("1 2.5\n"), "line 1: value 2 is not a whole number");
  EXPECT_EQ(refused("1,2\n"), "line 1: value 1 is not a number");
  EXPECT_EQ(refused("2147483648\n"), "line 1: value 1 does not fit in 32 bits");
  EXPECT_EQ(refused("1e999\n"), "line 1: value 1 is out of range");
  EXPECT_EQ(refused("# nothing\n\n"), "no numbers");

  // The tool's own files are told apart by the tab ending their first line, and read strictly.
  EXPECT_TRUE(isToolLabelText("0\t1\t\r\n"));
  EXPECT_TRUE(isToolLabelText("0\t1\t\n"));
  EXPECT_FALSE(isToolLabelText("0\t1\r\n"));
  EXPECT_FALSE(isToolLabelText("0 1\n"));
}

TEST(LabelFiles, ReadsNumpyFilesByTheirSuffix) {
  TempFolder temp;
  writeFile(temp / "a.npy", npyFile("<i2", false, "(1, 3)", bytesOf<std::int16_t>({9, -1, 9})));
  writeFile(temp / "b.txt", "9 -1 9\n");
  writeFile(temp / "c.txt", "9 -1 9\r\n");
  LabelImage image;
  std::string error;
  for (const char* name : {"a.npy", "b.txt", "c.txt"}) {
    ASSERT_TRUE(loadLabelImage((temp / name).string(), image, error)) << name << ": " << error;
    // -1 (outside a mask) is a label like any other: -1 -> 0, 9 -> 1.
    EXPECT_EQ(image.labels, (std::vector<std::int32_t>{1, 0, 1})) << name;
  }
  writeFile(temp / "d.npy", "9 -1 9\n");
  EXPECT_FALSE(loadLabelImage((temp / "d.npy").string(), image, error));
  EXPECT_EQ(error, "not a .npy file");
}

}  // namespace
}  // namespace superpixels::eval
