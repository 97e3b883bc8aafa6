#include "eval/label_files.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>

#include <opencv2/imgcodecs.hpp>

#include "eval/label_formats.hpp"
#include "output/label_file.hpp"

namespace superpixels::eval {

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    error = std::string("cannot open (") + std::strerror(errno) + ")";
    return false;
  }
  const std::streamoff size = in.tellg();
  if (size < 0) {
    error = "cannot read";
    return false;
  }
  bytes.resize(static_cast<std::size_t>(size));
  in.seekg(0);
  if (!in.read(bytes.data(), size)) {
    error = "cannot read";
    return false;
  }
  return true;
}

// cv::imread, with OpenCV's exceptions turned into an error message.
bool decode(const std::string& path, int flags, cv::Mat& image, std::string& error) {
  try {
    image = cv::imread(path, flags);
  } catch (const cv::Exception& e) {
    error = "cannot decode (" + e.msg + ")";
    return false;
  }
  if (image.empty()) {
    error = "cannot decode as an image";
    return false;
  }
  return true;
}

}  // namespace

bool loadLabelImage(const std::string& path, LabelImage& image, std::string& error) {
  const bool npy = endsWith(path, ".npy");
  if (npy || endsWith(path, ".txt")) {
    std::string bytes;
    LabelGrid grid;
    if (!readWholeFile(path, bytes, error)) return false;
    const bool parsed = npy                      ? parseNpy(bytes, grid, error)
                        : isToolLabelText(bytes) ? parseLabelText(bytes, grid, error)
                                                 : parseNumberText(bytes, grid, error);
    if (!parsed) return false;
    image = compactLabelImage(grid.width, grid.height, std::move(grid.labels));
    return true;
  }
  cv::Mat map;
  if (!decode(path, cv::IMREAD_UNCHANGED, map, error)) return false;
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

bool loadPhoto(const std::string& path, cv::Mat& photo, std::string& error) {
  return decode(path, cv::IMREAD_COLOR, photo, error);
}

}  // namespace superpixels::eval
