#include "pipeline_fuzz.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include "engine/pipeline.hpp"
#include "image/image_data.hpp"
#include "superpixels/io.hpp"

namespace superpixels::fuzz {

namespace {

// Reads bytes in order; past the end every byte is 0.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return offset_ < size_ ? data_[offset_++] : 0; }
  std::uint32_t word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | byte();
    return value;
  }
  bool atEnd() const { return offset_ >= size_; }
  // Blue, green, red, read in this order (the order of function arguments is unspecified, and
  // every compiler must decode an input to the same image).
  cv::Vec3b colour() {
    const std::uint8_t blue = byte();
    const std::uint8_t green = byte();
    return cv::Vec3b(blue, green, byte());
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

// Weights worth trying by name; the fuzzer also reaches any finite float through its bits.
constexpr float namedWeights[] = {0.0f, 0.5f, 1.0f, 1e-30f, 1e-45f, 100.0f, 1e30f, 3.4e38f};

float readWeight(ByteReader& in, bool rawBits) {
  if (!rawBits) return namedWeights[in.byte() % std::size(namedWeights)];
  const std::uint32_t bits = in.word();
  float weight;
  std::memcpy(&weight, &bits, sizeof weight);
  weight = std::fabs(weight);
  return std::isfinite(weight) ? weight : 0.0f;
}

std::int32_t readCount(ByteReader& in, bool wide, std::int32_t pixels) {
  if (wide) return 1 + static_cast<std::int32_t>(in.word() % maxSuperpixelCount);
  // Mostly counts around the pixel count, where the grid and merging change behaviour.
  const std::uint32_t high = in.byte();
  const std::uint32_t raw = high << 8 | in.byte();
  return 1 + static_cast<std::int32_t>(raw % (2 * static_cast<std::uint32_t>(pixels) + 8));
}

// Pixels as raw BGR triples; once the bytes run out the last colour repeats.
void rawPixels(ByteReader& in, cv::Mat& image) {
  cv::Vec3b colour(0, 0, 0);
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      if (!in.atEnd()) colour = in.colour();
      image.at<cv::Vec3b>(y, x) = colour;
    }
  }
}

// Pixels as runs over a palette of up to 8 colours: each byte gives a palette index (low 3 bits)
// and a run length (high 5 bits, plus 1) in row-major order; the last run fills the rest.
void palettePixels(ByteReader& in, cv::Mat& image) {
  const int paletteSize = 1 + in.byte() % 8;
  std::vector<cv::Vec3b> palette(paletteSize);
  for (cv::Vec3b& colour : palette) colour = in.colour();
  const int pixels = image.rows * image.cols;
  int p = 0;
  while (p < pixels) {
    const bool last = in.atEnd();
    const std::uint8_t code = in.byte();
    const int run = last ? pixels - p : 1 + (code >> 3);
    const cv::Vec3b colour = palette[(code & 7) % paletteSize];
    for (int i = 0; i < run && p < pixels; ++i, ++p) {
      image.at<cv::Vec3b>(p / image.cols, p % image.cols) = colour;
    }
  }
}

// A mask as runs: each byte gives inside (low bit) and a run length (the other bits, plus 1) in
// row-major order; the last run fills the rest.
cv::Mat maskRuns(ByteReader& in, int width, int height) {
  cv::Mat mask(height, width, CV_8U, cv::Scalar(0));
  const int pixels = width * height;
  int p = 0;
  while (p < pixels) {
    const bool last = in.atEnd();
    const std::uint8_t code = in.byte();
    const int run = last ? pixels - p : 1 + (code >> 1);
    for (int i = 0; i < run && p < pixels; ++i, ++p) mask.data[p] = code & 1;
  }
  return mask;
}

// Appends the broken invariant, if any, to `problem`; true when it holds.
bool check(bool holds, std::string& problem, const std::string& what) {
  if (!holds && problem.empty()) problem = what;
  return holds;
}

std::string checkState(const SegmentationState& state, const Options& options) {
  std::string problem;
  const LabelMap& map = state.labelMap;
  const ImageData& image = *state.image;
  const std::int32_t width = image.width, height = image.height;
  const std::int32_t pixels = width * height;
  if (!check(map.labels.size() == static_cast<std::size_t>(pixels), problem,
             "label map size differs from the pixel count") ||
      !check(state.regionStats.size() == static_cast<std::size_t>(map.slotCount), problem,
             "region table size differs from the slot count")) {
    return problem;
  }
  for (std::int32_t p = 0; p < pixels; ++p) {
    const bool inside = image.inside(p % width, p / width);
    if (!check(inside ? map.labels[p] >= 0 && map.labels[p] < map.slotCount
                      : map.labels[p] == noRegion,
               problem,
               "pixel " + std::to_string(p) + (inside ? " inside" : " outside") + " has slot " +
                   std::to_string(map.labels[p]) + ", of " + std::to_string(map.slotCount))) {
      return problem;
    }
  }

  // Every region's pixels, ascending, gathered from the labels; its model counts exactly them.
  std::vector<std::vector<std::int32_t>> members(map.slotCount);
  for (std::int32_t p = 0; p < pixels; ++p) {
    if (map.labels[p] != noRegion) members[map.labels[p]].push_back(p);
  }
  std::vector<std::int32_t> live;
  for (std::int32_t slot = 0; slot < map.slotCount; ++slot) {
    if (members[slot].empty()) continue;
    live.push_back(slot);
    check(state.regionStats[slot].count == static_cast<double>(members[slot].size()), problem,
          "model of slot " + std::to_string(slot) + " counts " +
              std::to_string(state.regionStats[slot].count) + " pixels, the labels " +
              std::to_string(members[slot].size()));
  }

  // Region counts.
  check(state.regionCount == static_cast<std::int32_t>(state.activeRegions.size()), problem,
        "regionCount differs from the active list's length");
  check(state.activeRegions == live, problem, "active list differs from the non-empty slots");
  const bool anyInside = image.insideCount > 0;
  check(state.regionCount >= (anyInside ? 1 : 0), problem, "no region left");
  check(state.trace.finalRegionCount == state.regionCount, problem,
        "finalRegionCount differs from regionCount");
  check(state.trace.mergedRegionCount >= (anyInside ? 1 : 0) &&
            state.trace.mergedRegionCount <= state.trace.initialRegionCount,
        problem, "merged region count outside 1 .. initial blocks");
  check(!state.trace.mergeReachedCount || state.trace.mergedRegionCount <= options.superpixelCount,
        problem, "merging claims to have reached the count but left more regions");
  check(state.trace.refinePasses >= 1 && state.trace.refinePasses <= 22, problem,
        "refinement passes outside 1 .. 22");
  if (!problem.empty()) return problem;

  // Every region one piece: a flood fill from its first pixel, through 8 or through the 4
  // horizontal and vertical neighbours, reaches all of it.
  std::vector<std::uint8_t> seen(pixels, 0);
  std::vector<std::int32_t> stack;
  for (const std::int32_t slot : live) {
    const std::vector<std::int32_t>& set = members[slot];
    std::size_t reached = 1;
    seen[set.front()] = 1;
    stack.assign(1, set.front());
    while (!stack.empty()) {
      const std::int32_t p = stack.back();
      stack.pop_back();
      for (const std::int32_t q : neighbourList(p, width, height)) {
        const bool side = q % width == p % width || q / width == p / width;
        if (seen[q] || map.labels[q] != slot || (options.connectivity == 4 && !side)) continue;
        seen[q] = 1;
        ++reached;
        stack.push_back(q);
      }
    }
    if (!check(reached == set.size(), problem,
               "slot " + std::to_string(slot) + " is in pieces: " + std::to_string(reached) +
                   " of " + std::to_string(set.size()) + " pixels connected")) {
      return problem;
    }
  }
  return problem;
}

std::string checkResult(const Result& result, const SegmentationState& state,
                        const cv::Mat& image) {
  std::string problem;
  const std::size_t pixels = static_cast<std::size_t>(image.cols) * image.rows;
  check(result.width == image.cols && result.height == image.rows, problem,
        "result size differs from the image");
  check(result.labels.size() == pixels, problem, "result has the wrong number of labels");
  check(result.regionCount == state.regionCount &&
            result.colours.size() == static_cast<std::size_t>(result.regionCount),
        problem, "result region count or colour table inconsistent");
  if (!problem.empty()) return problem;
  // Compact labels: in range, every number used, equal to the slot's position in the active list.
  std::vector<std::uint8_t> used(result.regionCount, 0);
  for (std::size_t p = 0; p < pixels; ++p) {
    const std::int32_t label = result.labels[p];
    if (state.labelMap.labels[p] == noRegion) {
      if (!check(label == -1, problem, "pixel outside has label " + std::to_string(label))) {
        return problem;
      }
      continue;
    }
    if (!check(label >= 0 && label < result.regionCount, problem,
               "compact label " + std::to_string(label) + " out of range at pixel " +
                   std::to_string(p)) ||
        !check(state.activeRegions[label] == state.labelMap.labels[p], problem,
               "compact label disagrees with the slot at pixel " + std::to_string(p))) {
      return problem;
    }
    used[label] = 1;
  }
  check(std::find(used.begin(), used.end(), 0) == used.end(), problem,
        "a compact label names no pixel");
  for (const Colour& c : result.colours) {
    for (const float component : {c.red, c.green, c.blue}) {
      check(component >= 0.0f && component <= 1.0f, problem, "display colour out of 0 .. 1");
    }
  }
  if (!problem.empty()) return problem;

  // The writers' in-memory products.
  const cv::Mat overlay = boundaryImage(image, result.labels);
  const cv::Mat partition = partitionImage(result);
  check(overlay.size() == image.size() && overlay.type() == CV_8UC3, problem,
        "overlay has the wrong size or type");
  check(partition.size() == image.size() && partition.type() == CV_8UC3, problem,
        "partition image has the wrong size or type");
  const std::string text = labelText(result);
  check(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) ==
                static_cast<std::size_t>(image.rows) &&
            static_cast<std::size_t>(std::count(text.begin(), text.end(), '\t')) == pixels,
        problem, "label text has the wrong number of rows or columns");
  return problem;
}

}  // namespace

FuzzCase decodeCase(const std::uint8_t* data, std::size_t size) {
  ByteReader in(data, size);
  const int width = 1 + in.byte() % 64;
  const int height = 1 + in.byte() % 64;
  const std::uint8_t mode = in.byte();
  FuzzCase fuzzCase;
  fuzzCase.options.superpixelCount = readCount(in, mode & 1, width * height);
  fuzzCase.options.weightFactor = readWeight(in, mode & 2);
  fuzzCase.image = cv::Mat(height, width, CV_8UC3);
  if (mode & 4) {
    palettePixels(in, fuzzCase.image);
  } else {
    rawPixels(in, fuzzCase.image);
  }
  if (mode & 8) fuzzCase.options.connectivity = 4;
  if (mode & 16) fuzzCase.mask = maskRuns(in, width, height);
  return fuzzCase;
}

std::string checkPipeline(const FuzzCase& fuzzCase) {
  try {
    const ImageData image = makeImageData(fuzzCase.image, fuzzCase.mask);
    SegmentationState state;
    runStages(state, image, fuzzCase.options);
    if (std::string problem = checkState(state, fuzzCase.options); !problem.empty()) {
      return problem;
    }
    return checkResult(makeResult(state), state, fuzzCase.image);
  } catch (const std::exception& e) {
    return std::string("exception: ") + e.what();
  }
}

}  // namespace superpixels::fuzz
