// The result pictures' PNG encoder: any reader decodes the pixels it was given, for every size and
// kind of content, and the bytes do not depend on the number of threads.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <zlib.h>
#include <opencv2/imgcodecs.hpp>

#include "output/png_encoder.hpp"
#include "parallel/thread_pool_access.hpp"
#include "superpixels/thread_pool.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

// Rows of a strip for a width: the encoder's 256 KiB of filtered bytes.
int stripRows(int width) { return (256 * 1024) / (1 + 3 * width); }

struct Case {
  const char* name;
  int width;
  int height;
  std::function<cv::Vec3b(int, int)> colour;
};

cv::Vec3b noise(int x, int y) {
  const std::uint32_t h = (static_cast<std::uint32_t>(x) * 2654435761u) ^
                          (static_cast<std::uint32_t>(y) * 40503u + 0x9E3779B9u);
  const std::uint32_t m = h * 0x85EBCA6Bu ^ (h >> 13);
  return cv::Vec3b(m, m >> 8, m >> 16);
}

cv::Vec3b flat(int, int) { return cv::Vec3b(90, 140, 200); }

// Regions of flat colour, as in a partition picture.
cv::Vec3b patches(int x, int y) { return noise(x / 37, y / 23); }

TEST(PngEncoder, DecodesToThePixelsForEverySizeAndContentAndAnyThreadCount) {
  const Case cases[] = {
      {"1 x 1", 1, 1, noise},
      {"1 x N", 1, 700, patches},
      {"N x 1, longer than a run", 5000, 1, flat},
      {"flat, runs across rows and strips", 300, 3 * stripRows(300) + 1, flat},
      {"noise that does not compress, several strips", 300, stripRows(300) + 1, noise},
      {"patches, one full strip", 300, stripRows(300), patches},
      {"patches, one row past a strip", 301, stripRows(301) + 1, patches},
      {"a row longer than a strip", 100000, 3, patches},
      {"noise strip, then flat strips", 400, 3 * stripRows(400),
       [](int x, int y) { return y < stripRows(400) ? noise(x, y) : flat(x, y); }},
      {"two colours: runs of 1 to 3 bytes", 999, 40,
       [](int x, int y) { return noise(x, y)[0] < 128 ? cv::Vec3b(0, 0, 0) : cv::Vec3b(1, 1, 1); }},
  };
  ThreadPool pool(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const cv::Mat image = makeImage(c.width, c.height, c.colour);
    const std::string data = pngImageData(image);
    EXPECT_EQ(pngImageData(image, &executorOf(pool), 3), data) << "bytes depend on the threads";

    // zlib inflates the stream whole, its Adler-32 included, to a filter byte and the pixels per
    // row.
    std::vector<Bytef> raw(static_cast<std::size_t>(c.height) * (1 + 3 * c.width) + 1);
    uLongf rawSize = raw.size();
    ASSERT_EQ(
        uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(data.data()), data.size()),
        Z_OK);
    EXPECT_EQ(rawSize, raw.size() - 1);

    const std::string png = pngFile(c.width, c.height, data, "Settings", "k=v");
    const cv::Mat decoded =
        cv::imdecode(cv::Mat(1, static_cast<int>(png.size()), CV_8U, const_cast<char*>(png.data())),
                     cv::IMREAD_UNCHANGED);
    ASSERT_EQ(decoded.type(), CV_8UC3);
    ASSERT_EQ(decoded.size(), image.size());
    cv::Mat differs;
    cv::compare(decoded.reshape(1), image.reshape(1), differs, cv::CMP_NE);
    std::vector<cv::Point> where;
    cv::findNonZero(differs, where);
    ASSERT_TRUE(where.empty()) << "first differing pixel (" << where[0].x / 3 << ", " << where[0].y
                               << ")";
  }
}

TEST(PngEncoder, HuffmanCodesStayWithinTheLimitAndComplete) {
  // Fibonacci frequencies make Huffman's code as deep as there are symbols.
  std::vector<std::uint32_t> fibonacci(286, 0);
  fibonacci[0] = fibonacci[1] = 1;
  for (int s = 2; s < 40; ++s) fibonacci[s] = fibonacci[s - 1] + fibonacci[s - 2];
  const std::vector<std::uint32_t> single = {0, 0, 7, 0};
  for (const auto& [frequencies, maxBits] :
       {std::pair{fibonacci, 15}, std::pair{fibonacci, 7}, std::pair{single, 7}}) {
    const std::vector<std::uint8_t> lengths = huffmanLengths(frequencies, maxBits);
    std::uint64_t kraft = 0;
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      EXPECT_LE(lengths[s], maxBits);
      EXPECT_EQ(lengths[s] == 0, frequencies[s] == 0 && !(frequencies == single && s == 0));
      if (lengths[s] > 0) kraft += std::uint64_t{1} << (maxBits - lengths[s]);
      if (s > 0 && frequencies[s - 1] > 0 && frequencies[s] > frequencies[s - 1]) {
        EXPECT_LE(lengths[s], lengths[s - 1]);
      }
    }
    EXPECT_EQ(kraft, std::uint64_t{1} << maxBits) << "not a complete code";
  }
}

}  // namespace
}  // namespace superpixels::testing
