#pragma once

// Conversions between numpy arrays and the engine's types, for the extension superpixels._core.
// The Python layer (superpixels/__init__.py) checks and converts the user's arguments first; the
// checks here only keep a wrong call of the private extension from reaching the engine, and raise
// ValueError. Call with the GIL held unless said otherwise.

#include <cstdint>
#include <optional>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <opencv2/core.hpp>

#include "superpixels/superpixels.hpp"

namespace superpixels::python {

namespace py = pybind11;

// H x W x 3 uint8 images, H x W uint8 masks, H x W int32 labels, n x 3 uint8 colour tables: all
// C-contiguous (the Python layer hands over no other).
using ByteArray = py::array_t<std::uint8_t, py::array::c_style>;
using LabelArray = py::array_t<std::int32_t, py::array::c_style>;

// ValueError unless `image` is height x width x 3 with at least one pixel and at most
// maxPixelCount.
void requireImage(const ByteArray& image);
// ValueError unless `array` is two-dimensional with at least one value, and, when given, of
// height x width.
void requirePlane(const py::array& array, const char* what, std::optional<py::ssize_t> height = {},
                  std::optional<py::ssize_t> width = {});

// cv::Mat headers over an image's pixels (CV_8UC3) or a mask's (CV_8UC1), which must outlive
// them. Need no GIL.
cv::Mat imageView(const ByteArray& image);
cv::Mat maskView(const ByteArray& mask);

// The labels as the row-major vector the public API takes. Needs no GIL.
std::vector<std::int32_t> labelVector(const LabelArray& labels);

// Arrays owning the given data without copying it: labels as height x width int32, a CV_8UC3
// image as height x width x 3 uint8.
py::array labelsToArray(std::vector<std::int32_t>&& labels, std::int32_t height,
                        std::int32_t width);
py::array imageToArray(cv::Mat&& image);

// The display colours as the partition image paints them: one row of three bytes per colour,
// red first when `rgb`, blue first otherwise.
py::array coloursToArray(const std::vector<Colour>& colours, bool rgb);

}  // namespace superpixels::python
