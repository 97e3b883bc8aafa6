// The Python module `superpixels`: the engine on numpy arrays. Labels are those of the command-line
// tool, bit for bit: the module links the same library and goes through the same public entry
// points (`segment` for arrays; `readImage`, then `segment`, as the tool does, for files).

#include <algorithm>
#include <string>
#include <utility>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <opencv2/imgproc.hpp>

#include "conversions.hpp"
#include "superpixels/io.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels::python {

namespace {

py::object finish(Result&& result, ChannelOrder order, bool returnColours) {
  py::array labels = labelsToArray(std::move(result.labels), result.height, result.width);
  if (!returnColours) return labels;
  return py::make_tuple(labels, coloursToArray(result.colours, order));
}

py::object segmentArray(const py::handle& image, const py::handle& count, const py::handle& weight,
                        const std::string& channelOrder, bool returnColours) {
  const Options options = makeOptions(count, weight);
  const ChannelOrder order = parseChannelOrder(channelOrder);
  const ImageArray pixels = imageArray(image);
  const cv::Mat view = matView(pixels);
  Result result;
  {
    py::gil_scoped_release released;
    if (order == ChannelOrder::bgr) {
      result = segment(view, options);
    } else {
      cv::Mat bgr;
      cv::cvtColor(view, bgr, cv::COLOR_RGB2BGR);
      result = segment(bgr, options);
    }
  }
  return finish(std::move(result), order, returnColours);
}

py::object segmentFile(const py::handle& path, const py::handle& count, const py::handle& weight,
                       const std::string& channelOrder, bool returnColours) {
  const Options options = makeOptions(count, weight);
  const ChannelOrder order = parseChannelOrder(channelOrder);
  const std::string file = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
  ImageFile image;
  Result result;
  {
    py::gil_scoped_release released;
    image = readImage(file);
    if (image.ok()) result = segment(image.bgr, options);
  }
  if (!image.ok()) {
    PyErr_SetString(PyExc_OSError, (file + ": " + image.error).c_str());
    throw py::error_already_set();
  }
  return finish(std::move(result), order, returnColours);
}

void requireSameSize(const ImageArray& image, const LabelArray& labels) {
  if (labels.shape(0) != image.shape(0) || labels.shape(1) != image.shape(1)) {
    throw py::value_error("labels have shape " + std::string(py::str(labels.attr("shape"))) +
                          ", the image " + std::string(py::str(image.attr("shape"))) +
                          ": height and width must match");
  }
}

py::array boundaryArray(const py::handle& image, const py::handle& labels) {
  const ImageArray pixels = imageArray(image);
  const LabelArray ids = labelArray(labels);
  requireSameSize(pixels, ids);
  const cv::Mat view = matView(pixels);
  cv::Mat out;
  {
    py::gil_scoped_release released;
    const std::vector<std::int32_t> copy(ids.data(), ids.data() + ids.size());
    out = boundaryImage(view, copy);
  }
  return imageToArray(std::move(out));
}

// "row y, column x" of the first pixel of `labels` for which `bad` holds.
template <typename Predicate>
std::string firstPixel(const LabelArray& labels, Predicate bad) {
  const std::int32_t* begin = labels.data();
  const auto p = std::find_if(begin, begin + labels.size(), bad) - begin;
  const auto width = labels.shape(1);
  return "row " + std::to_string(p / width) + ", column " + std::to_string(p % width);
}

py::array partitionArray(const py::handle& labels, const py::handle& colours,
                         const std::string& channelOrder) {
  const ChannelOrder order = parseChannelOrder(channelOrder);
  const LabelArray ids = labelArray(labels);
  const auto [lowest, highest] = std::minmax_element(ids.data(), ids.data() + ids.size());
  if (*lowest < 0) {
    throw py::value_error("labels must not be negative: " + std::to_string(*lowest) + " at " +
                          firstPixel(ids, [](std::int32_t l) { return l < 0; }));
  }

  py::array_t<std::uint8_t, py::array::c_style> table;
  if (colours.is_none()) {
    if (*highest >= ids.size()) {
      throw py::value_error("labels go up to " + std::to_string(*highest) +
                            "; the default palette serves labels below the pixel count (" +
                            std::to_string(ids.size()) + "): pass colours");
    }
    table = coloursToArray(displayColours(*highest + 1), order);
  } else {
    const py::array given = py::array::ensure(colours);
    if (!given || !py::isinstance<py::array_t<std::uint8_t>>(given)) {
      throw py::type_error("colours must be a uint8 numpy array");
    }
    if (given.ndim() != 2 || given.shape(1) != 3) {
      throw py::value_error("colours must have shape (n, 3), got " +
                            std::string(py::str(given.attr("shape"))));
    }
    table = py::array_t<std::uint8_t, py::array::c_style>::ensure(given);
    const auto rows = table.shape(0);
    if (*highest >= rows) {
      const std::int32_t top = *highest;
      throw py::value_error("label " + std::to_string(top) + " at " +
                            firstPixel(ids, [top](std::int32_t l) { return l == top; }) +
                            " has no colour: colours has " + std::to_string(rows) + " rows");
    }
  }

  const auto height = ids.shape(0);
  const auto width = ids.shape(1);
  py::array_t<std::uint8_t> out({height, width, py::ssize_t{3}});
  std::uint8_t* o = out.mutable_data();
  const std::uint8_t* palette = table.data();
  const std::int32_t* l = ids.data();
  {
    py::gil_scoped_release released;
    for (py::ssize_t p = 0; p < height * width; ++p) {
      std::copy_n(palette + 3 * static_cast<py::ssize_t>(l[p]), 3, o + 3 * p);
    }
  }
  return out;
}

}  // namespace

}  // namespace superpixels::python

PYBIND11_MODULE(superpixels, module) {
  namespace py = pybind11;
  using namespace py::literals;
  using namespace superpixels::python;

  module.doc() = R"doc(Superpixels of colour images.

Partitions an image into superpixels: connected groups of pixels that are compact in space and
uniform in colour. The labels are those the superpixels command-line tool writes in its label
files, bit for bit.

    segment(image, count, weight)     labels of an H x W x 3 uint8 array (RGB by default)
    segment_file(path, count, weight) labels of an image file, decoded as the tool decodes it
    boundary_image(image, labels)     the image with the superpixel borders in black
    partition_image(labels, colours)  every superpixel painted in one colour

Every function may be called from several threads at once: the work runs without the GIL.)doc";

  module.attr("__version__") = superpixels::version();

  // Arguments are taken as plain objects and checked by hand, for clear messages; the signatures
  // pybind11 would generate from that say nothing, so every docstring opens with its own.
  py::options options;
  options.disable_function_signatures();

  module.def("segment", &segmentArray, "image"_a, "count"_a, "weight"_a, py::kw_only(),
             "channel_order"_a = "rgb", "return_colours"_a = false,
             R"doc(segment(image, count, weight, *, channel_order="rgb", return_colours=False)

Segments an image into superpixels.

Parameters
----------
image : numpy.ndarray
    H x W x 3 array of dtype uint8 (a non-contiguous array is copied first).
count : int
    Number of superpixels wanted, at least 1; the result may hold fewer.
weight : float
    Compactness against colour uniformity, finite and not negative (rounded to single precision,
    as the tool reads it). 0 lets superpixels follow colour alone; 0.5 is a good start.
channel_order : {"rgb", "bgr"}
    Order of the image's channels: "rgb" as scikit-image and PIL give images, "bgr" as OpenCV does.
    Both give the same labels for the same picture.
return_colours : bool
    Also return the superpixels' display colours.

Returns
-------
labels : numpy.ndarray
    H x W int32 array: the superpixel number of every pixel, 0 .. n - 1 for n superpixels, numbered
    in the order of the grid block each grew from. Equal to the tool's label file.
colours : numpy.ndarray, only with return_colours=True
    n x 3 uint8 array, in channel_order: the colour of every superpixel in the tool's partition
    picture. ``partition_image(labels, colours)`` paints that picture.

Raises
------
TypeError
    image is not a uint8 array, count is not an integer, weight is not a real number.
ValueError
    image is not H x W x 3 or is empty, count is below 1, weight is negative, infinite or NaN,
    channel_order is neither "rgb" nor "bgr".)doc");

  module.def("segment_file", &segmentFile, "path"_a, "count"_a, "weight"_a, py::kw_only(),
             "channel_order"_a = "rgb", "return_colours"_a = false,
             R"doc(segment_file(path, count, weight, *, channel_order="rgb", return_colours=False)

Segments an image file into superpixels.

The file is decoded exactly as the command-line tool decodes it (OpenCV, three 8-bit channels), so
the labels equal the tool's label file for that file.

Parameters
----------
path : str, bytes or os.PathLike
    The image file: PNG, JPEG, BMP, PNM, TIFF or WebP (not animated).
count, weight
    As for ``segment``.
channel_order : {"rgb", "bgr"}
    Channel order of the returned colours.
return_colours : bool
    Also return the display colours, as ``segment`` does.

Returns
-------
labels : numpy.ndarray, or (labels, colours) with return_colours=True
    As for ``segment``.

Raises
------
OSError
    The file does not exist or cannot be decoded.
TypeError, ValueError
    Bad count or weight, as for ``segment``.)doc");

  module.def("boundary_image", &boundaryArray, "image"_a, "labels"_a,
             R"doc(boundary_image(image, labels)

The image with its superpixel borders drawn in black.

A pixel turns black when its left, upper or upper-left neighbour has another label, so borders are
one pixel wide; the top row and the left column are always black. Every other pixel keeps its
colour. The channels are copied as they are: the result has the channel order of ``image`` (from
a BGR image of the file this is the tool's ``_KVR.png``).

Parameters
----------
image : numpy.ndarray
    H x W x 3 array of dtype uint8.
labels : numpy.ndarray
    H x W array of integers, such as ``segment`` returns.

Returns
-------
numpy.ndarray
    H x W x 3 uint8 array.

Raises
------
TypeError
    image is not uint8, labels are not integers.
ValueError
    Wrong shapes, or the image and the labels differ in height or width.)doc");

  module.def("partition_image", &partitionArray, "labels"_a, "colours"_a = py::none(),
             py::kw_only(), "channel_order"_a = "rgb",
             R"doc(partition_image(labels, colours=None, *, channel_order="rgb")

Every superpixel painted in one colour.

Parameters
----------
labels : numpy.ndarray
    H x W array of integers, not negative, such as ``segment`` returns.
colours : numpy.ndarray, optional
    n x 3 uint8 array, one row per label (n above the largest label), painted as it is. Pass the
    colours from ``segment(..., return_colours=True)`` to get the tool's ``_partition.png`` (in
    the channel order asked of ``segment``). Without it, label j gets the display colour of the
    j-th grid block: a fixed palette of 21 levels per channel, which also suits labels from other
    programs.
channel_order : {"rgb", "bgr"}
    Channel order of the default palette; ignored when colours are given.

Returns
-------
numpy.ndarray
    H x W x 3 uint8 array.

Raises
------
TypeError
    labels are not integers, colours are not uint8.
ValueError
    Wrong shapes, a negative label, a label without a colour.)doc");
}
