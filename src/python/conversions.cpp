#include "conversions.hpp"

#include <memory>
#include <string>

#include "superpixels/io.hpp"

namespace superpixels::python {

namespace {

std::string shapeText(const py::array& array) { return py::str(array.attr("shape")); }

}  // namespace

void requireImage(const ByteArray& image) {
  if (image.ndim() != 3 || image.shape(2) != 3 || image.size() == 0) {
    throw py::value_error("image must have shape (height, width, 3), got " + shapeText(image));
  }
  const py::ssize_t height = image.shape(0);
  const py::ssize_t width = image.shape(1);
  if (height > maxPixelCount || width > maxPixelCount || height * width > maxPixelCount) {
    throw py::value_error("image has " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels, more than " + std::to_string(maxPixelCount));
  }
}

void requirePlane(const py::array& array, const char* what, std::optional<py::ssize_t> height,
                  std::optional<py::ssize_t> width) {
  if (array.ndim() != 2 || array.size() == 0) {
    throw py::value_error(std::string(what) + " must have shape (height, width), got " +
                          shapeText(array));
  }
  if (array.shape(0) > maxPixelCount || array.shape(1) > maxPixelCount ||
      array.size() > maxPixelCount) {
    throw py::value_error(std::string(what) + " has more than " + std::to_string(maxPixelCount) +
                          " values");
  }
  if ((height && array.shape(0) != *height) || (width && array.shape(1) != *width)) {
    throw py::value_error(std::string(what) + " has shape " + shapeText(array) + ", not (" +
                          std::to_string(height.value_or(array.shape(0))) + ", " +
                          std::to_string(width.value_or(array.shape(1))) + ")");
  }
}

cv::Mat imageView(const ByteArray& image) {
  return cv::Mat(static_cast<int>(image.shape(0)), static_cast<int>(image.shape(1)), CV_8UC3,
                 const_cast<std::uint8_t*>(image.data()));
}

cv::Mat maskView(const ByteArray& mask) {
  return cv::Mat(static_cast<int>(mask.shape(0)), static_cast<int>(mask.shape(1)), CV_8UC1,
                 const_cast<std::uint8_t*>(mask.data()));
}

std::vector<std::int32_t> labelVector(const LabelArray& labels) {
  return std::vector<std::int32_t>(labels.data(), labels.data() + labels.size());
}

py::array labelsToArray(std::vector<std::int32_t>&& labels, std::int32_t height,
                        std::int32_t width) {
  auto owned = std::make_unique<std::vector<std::int32_t>>(std::move(labels));
  const std::int32_t* data = owned->data();
  py::capsule owner(owned.get(),
                    [](void* p) { delete static_cast<std::vector<std::int32_t>*>(p); });
  owned.release();
  return py::array_t<std::int32_t>({height, width}, data, owner);
}

py::array imageToArray(cv::Mat&& image) {
  auto owned = std::make_unique<cv::Mat>(std::move(image));
  const cv::Mat& mat = *owned;
  const std::vector<py::ssize_t> shape{mat.rows, mat.cols, 3};
  const std::vector<py::ssize_t> strides{static_cast<py::ssize_t>(mat.step[0]), 3, 1};
  py::capsule owner(owned.get(), [](void* p) { delete static_cast<cv::Mat*>(p); });
  owned.release();
  return py::array_t<std::uint8_t>(shape, strides, mat.data, owner);
}

py::array coloursToArray(const std::vector<Colour>& colours, bool rgb) {
  // The bytes the partition image paints each colour with, so that they are exactly those of the
  // tool's picture.
  py::array_t<std::uint8_t> out({static_cast<py::ssize_t>(colours.size()), py::ssize_t{3}});
  std::uint8_t* row = out.mutable_data();
  for (const Colour& colour : colours) {
    const cv::Vec3b bgr = colourBytes(colour);
    *row++ = rgb ? bgr[2] : bgr[0];
    *row++ = bgr[1];
    *row++ = rgb ? bgr[0] : bgr[2];
  }
  return out;
}

}  // namespace superpixels::python
