#include "label_files.hpp"

#include <opencv2/imgcodecs.hpp>

#include "label_formats.hpp"

namespace superpixels::eval {

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The longest text or .npy file of a map of `maxPixels` labels: numpy.savetxt's default writes 25
// bytes a label ("%.18e" and a blank), the tool at most 12; a megabyte more for comments and
// headers.
std::int64_t longestLabelFile(std::int64_t maxPixels) {
  return maxPixels * 25 + (std::int64_t{1} << 20);
}

// Decoded as the tool decodes images, the reason as the tool gives it.
bool decode(const std::string& path, int flags, std::int64_t maxPixels, cv::Mat& image,
            std::string& error) {
  ImageFile file = readImage(path, maxPixels, flags);
  if (!file.ok()) {
    error = file.error;
    return false;
  }
  image = std::move(file.bgr);
  return true;
}

}  // namespace

bool loadLabelImage(const std::string& path, LabelImage& image, std::string& error,
                    std::int64_t maxPixels) {
  const bool npy = endsWith(path, ".npy");
  if (npy || endsWith(path, ".txt")) {
    LabelGrid grid;
    const FileBytes file = readFileBytes(path, longestLabelFile(maxPixels));
    if (!file.ok) {
      error = file.error;
      return false;
    }
    const std::string& bytes = file.bytes;
    const bool parsed = npy                      ? parseNpy(bytes, grid, error)
                        : isToolLabelText(bytes) ? parseLabelText(bytes, grid, error)
                                                 : parseNumberText(bytes, grid, error);
    if (!parsed) return false;
    if (static_cast<std::int64_t>(grid.width) * grid.height > maxPixels) {
      error = "map is " + std::to_string(grid.width) + " x " + std::to_string(grid.height) +
              " labels, more than the limit of " + std::to_string(maxPixels);
      return false;
    }
    image = compactLabelImage(grid.width, grid.height, std::move(grid.labels));
    return true;
  }
  cv::Mat map;
  if (!decode(path, cv::IMREAD_UNCHANGED, maxPixels, map, error)) return false;
  if (map.channels() != 1 || (map.depth() != CV_8U && map.depth() != CV_16U)) {
    error = "not a single-channel 8- or 16-bit label image";
    return false;
  }
  cv::Mat wide;
  map.convertTo(wide, CV_32S);
  std::vector<std::int32_t> labels(static_cast<std::size_t>(wide.total()));
  for (int y = 0; y < wide.rows; ++y) {
    const std::int32_t* row = wide.ptr<std::int32_t>(y);
    std::copy(row, row + wide.cols, labels.begin() + static_cast<std::ptrdiff_t>(y) * wide.cols);
  }
  image = compactLabelImage(wide.cols, wide.rows, std::move(labels));
  return true;
}

bool loadPhoto(const std::string& path, cv::Mat& photo, std::string& error,
               std::int64_t maxPixels) {
  return decode(path, cv::IMREAD_COLOR, maxPixels, photo, error);
}

}  // namespace superpixels::eval
