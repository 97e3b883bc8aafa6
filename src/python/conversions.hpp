#pragma once

// Checked conversions between Python objects and the engine's types, for the Python module.
// Every check raises a Python exception (TypeError for a wrong type or dtype, ValueError for a
// wrong shape or value), so that bad input never reaches the engine. Call with the GIL held.

#include <cstdint>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <opencv2/core.hpp>

#include "superpixels/superpixels.hpp"

namespace superpixels::python {

namespace py = pybind11;

using ImageArray = py::array_t<std::uint8_t, py::array::c_style>;
using LabelArray = py::array_t<std::int32_t, py::array::c_style>;

// Order of the three channels of an image or of a colour table.
enum class ChannelOrder { rgb, bgr };

// "rgb" or "bgr"; ValueError otherwise.
ChannelOrder parseChannelOrder(const std::string& text);

// Options from the Python arguments: `count` an integer (int or numpy integer) of 1 ..
// maxSuperpixelCount, `weight` a real number, finite, not negative, rounded to single precision as
// the tool reads it.
Options makeOptions(const py::handle& count, const py::handle& weight);

// `object` (anything numpy takes as an array) as a C-contiguous height x width x 3 uint8 array of
// at least one pixel, where height and width fit a cv::Mat. A non-contiguous array is copied; a
// contiguous one is shared.
ImageArray imageArray(const py::handle& object);

// `object` as a C-contiguous height x width int32 array of at least one pixel. Other integer dtypes
// are converted when every value fits in int32.
LabelArray labelArray(const py::handle& object);

// A cv::Mat header over the pixels of `image`, which must outlive it. Needs no GIL.
cv::Mat matView(const ImageArray& image);

// Arrays owning the given data without copying it: labels as height x width int32, a CV_8UC3
// image as height x width x 3 uint8.
py::array labelsToArray(std::vector<std::int32_t>&& labels, std::int32_t height,
                        std::int32_t width);
py::array imageToArray(cv::Mat&& image);

// The display colours as the partition image paints them: one row of three bytes per colour, in
// `order`.
py::array coloursToArray(const std::vector<Colour>& colours, ChannelOrder order);

}  // namespace superpixels::python
