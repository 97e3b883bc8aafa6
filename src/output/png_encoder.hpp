#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>

namespace superpixels {

class Executor;

// The result pictures' own PNG encoder. It trades a few per cent of file size for speed: each row
// takes the Sub, Up or Paeth filter by a cheap estimate, and the filtered bytes are deflated with
// runs of one repeated byte (the long flat stretches of the partition and of filtered rows) and a
// Huffman table of their own per strip. The image is cut into strips of rows fixed by its size
// alone, compressed independently (each ends byte-aligned, as after a full flush), so that several
// threads can compress it side by side and the bytes are the same for any number of threads.
// The pixels decode as those of `bgr` by any PNG reader.

// The zlib stream of the PNG image data of `bgr` (8-bit, 3 channels, at least one pixel; stored
// as 8-bit RGB), the strips compressed on `executor` by up to `threads` threads when `executor` is
// given. Throws std::invalid_argument for another kind of image.
std::string pngImageData(const cv::Mat& bgr, Executor* executor = nullptr, int threads = 1);

// A whole PNG file of a `width` x `height` 8-bit RGB image whose zlib stream is `imageData`, with
// a tEXt chunk of `keyword` (1 to 79 Latin-1 letters, digits and spaces) and `text` (no NUL byte)
// right after IHDR, where a reader finds it without walking the image data, when `keyword` is not
// empty.
std::string pngFile(int width, int height, std::string_view imageData,
                    std::string_view keyword = {}, std::string_view text = {});

// Deflate's code lengths for symbols of `frequencies`: at most `maxBits` each, a complete code
// (Huffman's lengths, the longest ones shortened as miniz does), more frequent symbols never
// longer; 0 for unused symbols. A single used symbol gets a partner of length 1. Exposed for its
// tests: the limit is reached only by skewed data.
std::vector<std::uint8_t> huffmanLengths(const std::vector<std::uint32_t>& frequencies,
                                         int maxBits);

}  // namespace superpixels
