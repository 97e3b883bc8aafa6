#include "conversions.hpp"

#include <cmath>
#include <cstring>
#include <memory>

#include "superpixels/io.hpp"

namespace superpixels::python {

namespace {

std::string typeName(const py::handle& object) {
  return py::str(py::type::handle_of(object).attr("__name__"));
}

std::string shapeText(const py::array& array) { return py::str(array.attr("shape")); }

std::string dtypeText(const py::array& array) { return py::str(array.dtype()); }

// `object` as a numpy array, or TypeError naming `what`.
py::array asArray(const py::handle& object, const char* what) {
  py::array array = py::array::ensure(object);
  if (!array) {
    throw py::type_error(std::string(what) + " must be a numpy array, got " + typeName(object));
  }
  return array;
}

template <typename T>
bool hasDtype(const py::array& array) {
  return py::isinstance<py::array_t<T>>(array);
}

}  // namespace

ChannelOrder parseChannelOrder(const std::string& text) {
  if (text == "rgb") return ChannelOrder::rgb;
  if (text == "bgr") return ChannelOrder::bgr;
  throw py::value_error("channel_order must be \"rgb\" or \"bgr\", got \"" + text + "\"");
}

Options makeOptions(const py::handle& count, const py::handle& weight) {
  Options options;

  if (PyBool_Check(count.ptr()) || !PyIndex_Check(count.ptr())) {
    throw py::type_error("count must be an integer, got " + typeName(count));
  }
  const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(count.ptr()));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
  const std::string countText = py::str(index);
  if (overflow < 0 || (overflow == 0 && value < 1)) {
    throw py::value_error("count is " + countText + ", must be at least 1");
  }
  if (overflow > 0 || value > maxSuperpixelCount) {
    throw py::value_error("count is " + countText + ", must be at most " +
                          std::to_string(maxSuperpixelCount));
  }
  options.superpixelCount = static_cast<std::int32_t>(value);

  if (PyBool_Check(weight.ptr())) throw py::type_error("weight must be a real number, got bool");
  const double real = PyFloat_AsDouble(weight.ptr());
  if (real == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    throw py::type_error("weight must be a real number, got " + typeName(weight));
  }
  const std::string weightText = py::repr(py::float_(real));
  if (!std::isfinite(real) || real < 0.0) {
    throw py::value_error("weight is " + weightText + ", must be finite and not negative");
  }
  // Single precision, as the tool reads WEIGHT.
  options.weightFactor = static_cast<float>(real);
  if (!std::isfinite(options.weightFactor)) {
    throw py::value_error("weight is " + weightText + ", too large for single precision");
  }

  std::string why;
  if (!options.isValid(&why)) throw py::value_error(why);
  return options;
}

ImageArray imageArray(const py::handle& object) {
  const py::array array = asArray(object, "image");
  if (!hasDtype<std::uint8_t>(array)) {
    throw py::type_error("image must have dtype uint8, got " + dtypeText(array));
  }
  if (array.ndim() != 3 || array.shape(2) != 3) {
    throw py::value_error("image must have shape (height, width, 3), got " + shapeText(array));
  }
  const py::ssize_t height = array.shape(0);
  const py::ssize_t width = array.shape(1);
  if (height == 0 || width == 0) throw py::value_error("image is empty: shape " + shapeText(array));
  if (height > maxPixelCount || width > maxPixelCount || height * width > maxPixelCount) {
    throw py::value_error("image has " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels, more than " + std::to_string(maxPixelCount));
  }
  return ImageArray::ensure(array);
}

LabelArray labelArray(const py::handle& object) {
  const py::array array = asArray(object, "labels");
  const char kind = array.dtype().kind();
  if (kind != 'i' && kind != 'u') {
    throw py::type_error("labels must have an integer dtype, got " + dtypeText(array));
  }
  if (array.ndim() != 2) {
    throw py::value_error("labels must have shape (height, width), got " + shapeText(array));
  }
  if (array.size() == 0) throw py::value_error("labels are empty: shape " + shapeText(array));
  if (hasDtype<std::int32_t>(array)) return LabelArray::ensure(array);

  const auto converted =
      py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>::ensure(array);
  if (!converted) throw py::error_already_set();
  if (!py::module_::import("numpy").attr("array_equal")(converted, array).cast<bool>()) {
    throw py::value_error("labels of dtype " + dtypeText(array) + " do not fit in int32");
  }
  return converted;
}

cv::Mat matView(const ImageArray& image) {
  return cv::Mat(static_cast<int>(image.shape(0)), static_cast<int>(image.shape(1)), CV_8UC3,
                 const_cast<std::uint8_t*>(image.data()));
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

py::array coloursToArray(const std::vector<Colour>& colours, ChannelOrder order) {
  // The bytes the partition image paints each colour with, so that they are exactly those of the
  // tool's picture.
  py::array_t<std::uint8_t> out({static_cast<py::ssize_t>(colours.size()), py::ssize_t{3}});
  std::uint8_t* row = out.mutable_data();
  for (const Colour& colour : colours) {
    const cv::Vec3b bgr = colourBytes(colour);
    const bool rgb = order == ChannelOrder::rgb;
    *row++ = rgb ? bgr[2] : bgr[0];
    *row++ = bgr[1];
    *row++ = rgb ? bgr[0] : bgr[2];
  }
  return out;
}

}  // namespace superpixels::python
