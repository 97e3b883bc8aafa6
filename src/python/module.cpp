// The extension superpixels._core: the engine, the per-superpixel tables and the evaluation on
// numpy arrays. Labels are those of the command-line tool, bit for bit: the module links the same
// libraries and goes through the same public entry points (`readImage`, then `segment`, as the
// tool does). Every call that works on pixels runs without the GIL.
//
// The functions here are private: superpixels/__init__.py gives them their signatures, defaults,
// documentation and argument checks, and converts every image to the 8-bit, 3-channel arrays
// taken here.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <opencv2/imgproc.hpp>

#include "conversions.hpp"
#include "superpixels/describe.hpp"
#include "superpixels/io.hpp"
#include "superpixels/superpixels.hpp"
#include "superpixels_eval/evaluation.hpp"

namespace superpixels::python {

namespace {

// `image` in blue-green-red order: the array itself, or a converted copy of an RGB one. Needs no
// GIL.
cv::Mat bgrOf(const ByteArray& image, bool isBgr) {
  const cv::Mat view = imageView(image);
  if (isBgr) return view;
  cv::Mat bgr;
  cv::cvtColor(view, bgr, cv::COLOR_RGB2BGR);
  return bgr;
}

// superpixels.ThreadPool's engine pool. close() lets it go; calls still running on it keep it (each
// holds a share) until they end, so that closing never pulls threads from under a call.
class PoolHandle {
 public:
  explicit PoolHandle(int threads) : pool_(std::make_shared<ThreadPool>(threads)) {}
  // Call with the GIL held.
  std::shared_ptr<ThreadPool> share() const {
    if (!pool_) throw py::value_error("the thread pool is closed");
    return pool_;
  }
  int threads() const { return pool_ ? pool_->threads() : 0; }
  bool closed() const { return !pool_; }
  void close() {
    std::shared_ptr<ThreadPool> released = std::move(pool_);
    // Its threads are joined without the GIL, which they never need but a long call may hold up.
    py::gil_scoped_release unlocked;
    released.reset();
  }

 private:
  std::shared_ptr<ThreadPool> pool_;
};

// segment() on a thread of its own while the calling thread, without the GIL, takes it back every
// 50 ms to let Python run its signal handlers: a call from the main thread then ends soon after
// Ctrl-C with KeyboardInterrupt (or whatever a handler raises), through options.stop, instead of
// running to its end. Call with the GIL held.
Result segmentInterruptibly(const cv::Mat& bgr, Options options, const cv::Mat& mask,
                            const std::shared_ptr<ThreadPool>& pool) {
  std::atomic<bool> stop{false};
  options.stop = &stop;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  Result result;
  std::exception_ptr failure;
  const auto work = [&] {
    try {
      result = pool ? segment(bgr, options, *pool, mask) : segment(bgr, options, mask);
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    ended.notify_one();
  };
  bool raised = false;
  {
    py::gil_scoped_release released;
    std::thread worker;
    try {
      worker = std::thread(work);
    } catch (const std::system_error&) {
      work();  // no thread to spare: the call runs here, to its end
    }
    std::unique_lock<std::mutex> lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) {
      if (raised) continue;
      lock.unlock();
      {
        py::gil_scoped_acquire held;
        // A handler that raised leaves its exception set on this thread until it is thrown.
        raised = PyErr_CheckSignals() != 0;
      }
      if (raised) stop = true;
      lock.lock();
    }
    lock.unlock();
    if (worker.joinable()) worker.join();
  }
  if (raised) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
  return result;
}

py::object segmentArray(const ByteArray& image, bool isBgr, std::int32_t count, float weight,
                        std::int32_t connectivity, const std::optional<ByteArray>& mask,
                        bool returnColours, bool rgbColours, std::int32_t threads,
                        const PoolHandle* poolHandle) {
  requireImage(image);
  if (mask) requirePlane(*mask, "mask", image.shape(0), image.shape(1));
  Options options;
  options.superpixelCount = count;
  options.weightFactor = weight;
  options.connectivity = connectivity;
  options.threads = threads;
  if (const OptionsCheck check = options.check(); !check.ok()) {
    throw py::value_error(check.message);
  }
  const std::shared_ptr<ThreadPool> pool = poolHandle ? poolHandle->share() : nullptr;
  Result result;
  {
    cv::Mat bgr;
    {
      py::gil_scoped_release released;
      bgr = bgrOf(image, isBgr);
    }
    result = segmentInterruptibly(bgr, options, mask ? maskView(*mask) : cv::Mat(), pool);
  }
  py::array labels = labelsToArray(std::move(result.labels), result.height, result.width);
  if (!returnColours) return labels;
  return py::make_tuple(labels, coloursToArray(result.colours, rgbColours));
}

// (image, "", 0) for a file read as the tool reads it: 8-bit BGR; (None, reason, errno) when it
// cannot be used.
py::tuple readImageFile(const py::bytes& path) {
  const std::string file = path;
  ImageFile image;
  {
    py::gil_scoped_release released;
    image = readImage(file);
  }
  if (!image.ok()) return py::make_tuple(py::none(), image.error, image.systemError);
  return py::make_tuple(imageToArray(std::move(image.bgr)), "", 0);
}

// (labels, "", 0) for a label file read as the tool writes it: int32, -1 outside a mask; (None,
// reason, errno) when it cannot be used.
py::tuple readLabels(const py::bytes& path) {
  const std::string file = path;
  LabelFile labels;
  {
    py::gil_scoped_release released;
    labels = readLabelFile(file);
  }
  if (!labels.ok()) return py::make_tuple(py::none(), labels.error, labels.systemError);
  LabelGrid& grid = labels.grid;
  return py::make_tuple(labelsToArray(std::move(grid.labels), grid.height, grid.width), "", 0);
}

// Writes `labels` as the tool's label file, whole or not at all; why it failed, or "".
std::string writeLabels(const py::bytes& path, const LabelArray& labels) {
  requirePlane(labels, "labels");
  const std::string file = path;
  py::gil_scoped_release released;
  LabelGrid grid;
  grid.height = static_cast<std::int32_t>(labels.shape(0));
  grid.width = static_cast<std::int32_t>(labels.shape(1));
  grid.labels = labelVector(labels);
  return writeLabelFile(file, grid);
}

py::array boundaryArray(const ByteArray& image, const LabelArray& labels,
                        const std::optional<std::array<std::uint8_t, 3>>& colour) {
  requireImage(image);
  requirePlane(labels, "labels", image.shape(0), image.shape(1));
  const cv::Mat view = imageView(image);
  cv::Mat out;
  {
    py::gil_scoped_release released;
    const std::vector<std::int32_t> ids = labelVector(labels);
    if (!colour) {
      out = boundaryImage(view, ids);
    } else {
      // The tool's rule picks the border pixels: those it turns black in a picture of ones.
      const cv::Mat interior =
          boundaryImage(cv::Mat(view.size(), CV_8UC3, cv::Scalar::all(1)), ids);
      cv::Mat firstChannel;
      cv::extractChannel(interior, firstChannel, 0);
      out = view.clone();
      out.setTo(cv::Scalar((*colour)[0], (*colour)[1], (*colour)[2]), firstChannel == 0);
    }
  }
  return imageToArray(std::move(out));
}

// "row y, column x" of the first label for which `bad` holds.
template <typename Predicate>
std::string firstPixel(const LabelArray& labels, Predicate bad) {
  const std::int32_t* begin = labels.data();
  const auto p = std::find_if(begin, begin + labels.size(), bad) - begin;
  const auto width = labels.shape(1);
  return "row " + std::to_string(p / width) + ", column " + std::to_string(p % width);
}

// ValueError, naming the first pixel of the lowest label, when a label is below -1: only -1
// stands for "outside a mask", and no table or picture has a row for any other negative label.
void requireLabelsFromMinusOne(const LabelArray& labels) {
  const std::int32_t* l = labels.data();
  const std::int32_t low = *std::min_element(l, l + labels.size());
  if (low < -1) {
    throw py::value_error("label " + std::to_string(low) + " at " +
                          firstPixel(labels, [low](std::int32_t v) { return v == low; }) +
                          ": labels must be -1 (outside a mask) or more");
  }
}

py::array partitionArray(const LabelArray& labels, const ByteArray& colours) {
  requirePlane(labels, "labels");
  if (colours.ndim() != 2 || colours.shape(1) != 3) {
    throw py::value_error("colours must have shape (n, 3), got " +
                          std::string(py::str(colours.attr("shape"))));
  }
  requireLabelsFromMinusOne(labels);
  const std::int32_t* l = labels.data();
  const std::int32_t* highest = std::max_element(l, l + labels.size());
  const auto rows = colours.shape(0);
  if (*highest >= rows) {
    const std::int32_t top = *highest;
    throw py::value_error("label " + std::to_string(top) + " at " +
                          firstPixel(labels, [top](std::int32_t v) { return v == top; }) +
                          " has no colour: colours has " + std::to_string(rows) + " rows");
  }
  const auto height = labels.shape(0);
  const auto width = labels.shape(1);
  py::array_t<std::uint8_t> out({height, width, py::ssize_t{3}});
  std::uint8_t* o = out.mutable_data();
  const std::uint8_t* palette = colours.data();
  {
    py::gil_scoped_release released;
    for (py::ssize_t p = 0; p < height * width; ++p, o += 3) {
      if (l[p] < 0) {
        std::fill_n(o, 3, std::uint8_t{0});  // outside the mask, black as in the tool's picture
      } else {
        std::copy_n(palette + 3 * static_cast<py::ssize_t>(l[p]), 3, o);
      }
    }
  }
  return out;
}

py::array displayColourArray(std::int32_t count, bool rgb) {
  if (count < 0) throw py::value_error("count must not be negative");
  return coloursToArray(displayColours(count), rgb);
}

// One numpy array per column of the region table, in the table's order; the colour columns only
// with an image.
py::dict regionTable(const LabelArray& labels, const std::optional<ByteArray>& image, bool isBgr) {
  requirePlane(labels, "labels");
  requireLabelsFromMinusOne(labels);
  if (image) {
    requireImage(*image);
    requirePlane(labels, "labels", image->shape(0), image->shape(1));
  }
  const auto height = static_cast<std::int32_t>(labels.shape(0));
  const auto width = static_cast<std::int32_t>(labels.shape(1));
  std::vector<RegionRow> rows;
  {
    py::gil_scoped_release released;
    rows = describeRegions(labelVector(labels), width, height,
                           image ? bgrOf(*image, isBgr) : cv::Mat());
  }
  const auto n = static_cast<py::ssize_t>(rows.size());
  py::dict table;
  const auto column = [&](const char* name, auto field) {
    using Value = std::decay_t<decltype(rows.front().*field)>;
    py::array_t<Value> values(n);
    Value* out = values.mutable_data();
    for (const RegionRow& row : rows) *out++ = row.*field;
    table[name] = values;
  };
  column("label", &RegionRow::label);
  column("pixels", &RegionRow::pixels);
  column("centroid_x", &RegionRow::centroidX);
  column("centroid_y", &RegionRow::centroidY);
  column("left", &RegionRow::left);
  column("top", &RegionRow::top);
  column("width", &RegionRow::width);
  column("height", &RegionRow::height);
  if (image) {
    column("mean_red", &RegionRow::meanRed);
    column("mean_green", &RegionRow::meanGreen);
    column("mean_blue", &RegionRow::meanBlue);
    column("mean_l", &RegionRow::meanL);
    column("mean_a", &RegionRow::meanA);
    column("mean_b", &RegionRow::meanB);
  }
  column("cov_xx", &RegionRow::covXX);
  column("cov_xy", &RegionRow::covXY);
  column("cov_yy", &RegionRow::covYY);
  if (image) {
    column("cov_ll", &RegionRow::covLL);
    column("cov_la", &RegionRow::covLA);
    column("cov_lb", &RegionRow::covLB);
    column("cov_aa", &RegionRow::covAA);
    column("cov_ab", &RegionRow::covAB);
    column("cov_bb", &RegionRow::covBB);
  }
  return table;
}

py::array adjacencyArray(const LabelArray& labels) {
  requirePlane(labels, "labels");
  requireLabelsFromMinusOne(labels);
  std::vector<AdjacentPair> pairs;
  {
    py::gil_scoped_release released;
    pairs = adjacency(labelVector(labels), static_cast<std::int32_t>(labels.shape(1)),
                      static_cast<std::int32_t>(labels.shape(0)));
  }
  py::array_t<std::int64_t> out({static_cast<py::ssize_t>(pairs.size()), py::ssize_t{3}});
  std::int64_t* o = out.mutable_data();
  for (const AdjacentPair& pair : pairs) {
    *o++ = pair.labelA;
    *o++ = pair.labelB;
    *o++ = pair.sharedEdges;
  }
  return out;
}

py::dict evaluation(const LabelArray& labels, const std::vector<LabelArray>& truths,
                    const std::optional<ByteArray>& image, bool isBgr, int tolerance, bool square) {
  requirePlane(labels, "labels");
  const auto height = labels.shape(0);
  const auto width = labels.shape(1);
  if (truths.empty()) throw py::value_error("ground_truth holds no annotation");
  for (const LabelArray& truth : truths) requirePlane(truth, "ground_truth", height, width);
  if (image) {
    requireImage(*image);
    requirePlane(labels, "labels", image->shape(0), image->shape(1));
  }
  if (tolerance > eval::maxTolerance) {
    throw py::value_error("tolerance must be at most " + std::to_string(eval::maxTolerance));
  }
  eval::BoundaryMatching matching;
  matching.window = square ? eval::BoundaryWindow::square : eval::BoundaryWindow::disk;
  matching.tolerance = tolerance;
  eval::ImageScores scores;
  {
    py::gil_scoped_release released;
    std::vector<std::vector<std::int32_t>> annotations;
    annotations.reserve(truths.size());
    for (const LabelArray& truth : truths) annotations.push_back(labelVector(truth));
    scores = eval::scoreSegmentation(labelVector(labels), static_cast<int>(width),
                                     static_cast<int>(height), std::move(annotations),
                                     image ? bgrOf(*image, isBgr) : cv::Mat(), matching);
  }
  py::dict out;
  out["boundary_recall"] = scores.boundaryRecall;
  out["boundary_precision"] = scores.boundaryPrecision;
  out["undersegmentation_error"] = scores.undersegmentationError;
  out["achievable_segmentation_accuracy"] = scores.achievableSegmentationAccuracy;
  if (scores.explainedVariation) out["explained_variation"] = *scores.explainedVariation;
  out["compactness"] = scores.compactness;
  out["superpixels"] = static_cast<std::int64_t>(scores.superpixelCount);
  out["not_connected"] = static_cast<std::int64_t>(scores.notConnectedCount);
  return out;
}

}  // namespace

}  // namespace superpixels::python

PYBIND11_MODULE(_core, module) {
  namespace py = pybind11;
  using namespace py::literals;
  using namespace superpixels::python;

  module.doc() = "The compiled part of superpixels; use the functions of the package itself.";
  module.attr("__version__") = superpixels::version();
  module.attr("max_superpixel_count") = superpixels::maxSuperpixelCount;
  module.attr("max_threads") = superpixels::maxThreads;
  module.attr("max_tolerance") = superpixels::eval::maxTolerance;

  // py::arg().noconvert() on the arrays: the Python layer hands over exactly the dtype and layout
  // wanted, and anything else is a mistake to report, not to paper over with a copy.
  module.def("segment", &segmentArray, "image"_a.noconvert(), "is_bgr"_a, "count"_a, "weight"_a,
             "connectivity"_a, "mask"_a.noconvert().none(true), "return_colours"_a, "rgb_colours"_a,
             "threads"_a, "pool"_a.none(true));
  py::class_<PoolHandle>(module, "ThreadPool")
      .def(py::init<int>(), "threads"_a)
      .def_property_readonly("threads", &PoolHandle::threads)
      .def_property_readonly("closed", &PoolHandle::closed)
      .def("close", &PoolHandle::close);
  module.def("read_image", &readImageFile, "path"_a);
  module.def("read_labels", &readLabels, "path"_a);
  module.def("write_labels", &writeLabels, "path"_a, "labels"_a.noconvert());
  module.def("threads_for", &superpixels::ThreadPool::threadsFor, "threads"_a);
  module.def("boundary_image", &boundaryArray, "image"_a.noconvert(), "labels"_a.noconvert(),
             "colour"_a.none(true));
  module.def("partition_image", &partitionArray, "labels"_a.noconvert(), "colours"_a.noconvert());
  module.def("display_colours", &displayColourArray, "count"_a, "rgb"_a);
  module.def("regions", &regionTable, "labels"_a.noconvert(), "image"_a.noconvert().none(true),
             "is_bgr"_a);
  module.def("adjacency", &adjacencyArray, "labels"_a.noconvert());
  module.def("evaluate", &evaluation, "labels"_a.noconvert(), "ground_truths"_a,
             "image"_a.noconvert().none(true), "is_bgr"_a, "tolerance"_a, "square"_a);
}
