#pragma once

/// @file
/// Public interface of the superpixels engine: one decoded colour image in, one label map out.
/// Reading and writing files is in superpixels/io.hpp.

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "superpixels/thread_pool.hpp"

namespace superpixels {

/// Version of the library and of the command-line tool.
std::string version();

/// Largest superpixel count accepted: the grid needs 25 times the count in a 32-bit integer.
constexpr std::int32_t maxSuperpixelCount = 2147483647 / 25;

/// Largest number of pixels an image may have: pixel indices are 32-bit signed integers.
constexpr std::int64_t maxPixelCount = 2147483647;

/// Most threads one image may ask for (Options::threads), in the library, the tool's `--threads`
/// and Python's `threads=` alike: more than the hardware threads of the largest machines, so that
/// it only stops a mistyped number from starting thousands of threads that would share the same
/// cores (each with a stack of its own).
constexpr std::int32_t maxThreads = 4096;

/// The field of Options a check refused: `none` when every field is usable, otherwise the field
/// of the same name.
enum class OptionField { none, superpixelCount, weightFactor, connectivity, threads };

/// Outcome of Options::check.
struct OptionsCheck {
  OptionField field = OptionField::none;  ///< none when the options are usable
  std::string message;                    ///< names the field, its value and the broken constraint
  /// True when the options are usable: no field was refused.
  bool ok() const { return field == OptionField::none; }
};

/// What a segmentation asks for. Plain aggregate; `check` is the one validity check.
struct Options {
  /// Number of superpixels wanted; the result may hold fewer. 1 .. maxSuperpixelCount.
  std::int32_t superpixelCount = 200;
  /// Weight of spatial compactness against colour uniformity; finite and not negative.
  float weightFactor = 0.5f;
  /// 8: every superpixel is one piece through its pixels' 8 neighbours (corners count); 4: through
  /// the 4 horizontal and vertical neighbours only, as code that assumes 4-connectivity expects.
  std::int32_t connectivity = 8;
  /// Threads working on the image: 0 for one per CPU the process may use (the calling thread
  /// alone for an image under 128 x 128 pixels), 1 for the calling thread alone,
  /// at most maxThreads. The result is the same for every number.
  std::int32_t threads = 0;
  /// When given and once it holds true, segment() stops within about a stage's step (between
  /// stages, refinement passes and every few thousand merges) and throws SegmentationStopped: how
  /// an interactive front end lets Ctrl-C end a long call. Set from any thread; must outlive the
  /// call. Never changes a result that is returned.
  const std::atomic<bool>* stop = nullptr;

  /// The first field that is not usable, if any.
  OptionsCheck check() const;
  /// True when every field is usable; otherwise `why` (if given) receives check().message. Kept for
  /// programs written against 1.0.
  /// @deprecated check() says which field too.
  [[deprecated("use check(), which names the field too")]] bool isValid(
      std::string* why = nullptr) const;
};

/// Display colour of a superpixel, each component one of k / 21 for k = 0 .. 20.
struct Colour {
  float red = 0.0f;    ///< red component
  float green = 0.0f;  ///< green component
  float blue = 0.0f;   ///< blue component
};

/// The palette superpixel colours come from: the colours of grid blocks 0 .. count - 1. A fresh
/// default-seeded std::mt19937 draws red, green and blue for block 0, then for block 1 and so on,
/// each component (draw % 21) / 21, so a colour depends on the block alone.
std::vector<Colour> displayColours(std::int32_t count);

/// Wall-clock seconds spent in each stage of the engine.
struct StageTimes {
  double labConversion = 0.0;  ///< the image's Lab copy
  double setUp = 0.0;          ///< block grid, block models, merge candidates
  double merging = 0.0;        ///< greedy merging down to the requested count
  double refinement = 0.0;     ///< border pixel moves, pass after pass
  double connectivity = 0.0;   ///< one piece per superpixel, and the compact labels
};

/// What segment() returns: the label map of the image, its superpixels' colours and the time
/// each stage took.
struct Result {
  std::int32_t width = 0;   ///< the image's width in pixels
  std::int32_t height = 0;  ///< the image's height in pixels
  /// Compact superpixel number of every pixel, row-major (index y * width + x),
  /// 0 .. regionCount - 1. Superpixels are numbered in the order of the initial block they grew
  /// from.
  std::vector<std::int32_t> labels;
  std::int32_t regionCount = 0;  ///< the number of superpixels
  /// Display colour per compact superpixel number.
  std::vector<Colour> colours;
  StageTimes times;  ///< the time each stage took
};

/// What segment() throws when Options::stop asked it to stop.
struct SegmentationStopped : std::runtime_error {
  /// The exception with its one message, "segmentation stopped on request".
  SegmentationStopped() : std::runtime_error("segmentation stopped on request") {}
};

/// Segments one image: `bgr` must be 8-bit with 3 channels in blue, green, red order (as
/// cv::imread gives it), at least 1 x 1 and with at most maxPixelCount pixels. Throws
/// std::invalid_argument for an unusable image or invalid options.
///
/// `mask`, when not empty, limits the segmentation to a region of interest: 8-bit, one channel,
/// the image's size, non-zero meaning inside. Pixels outside take no part in anything and are
/// labelled -1; the superpixel count asked for counts superpixels inside, and the grid of initial
/// blocks is as fine as that count needs for the pixels inside. A mask with no pixel inside gives
/// no superpixel. A mask of all pixels gives exactly the result without a mask.
///
/// Thread contract: fully re-entrant. Calls share nothing but threads, so images may be segmented
/// side by side on several threads. A call that may use more than one thread (Options::threads
/// other than 1, and with 0 an image of 128 x 128 pixels or more) runs its parts on the process's
/// pool, ThreadPool::shared(), made on first use;
/// calls side by side share its threads. The result depends only on the image, the options and
/// the mask, never on the number of threads or the pool.
Result segment(const cv::Mat& bgr, const Options& options, const cv::Mat& mask = cv::Mat());

/// segment() with its parts run on `pool`, by up to options.threads threads (0: the pool's
/// threads()), the caller included.
Result segment(const cv::Mat& bgr, const Options& options, ThreadPool& pool,
               const cv::Mat& mask = cv::Mat());

}  // namespace superpixels
