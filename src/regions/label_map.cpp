#include "regions/label_map.hpp"

#include <algorithm>
#include <mutex>
#include <random>

namespace superpixels {

std::vector<Colour> displayColours(std::int32_t count) {
  std::mt19937 generator;
  const auto component = [&generator] {
    return static_cast<float>(static_cast<double>(generator() % 21) / 21.0);
  };
  std::vector<Colour> colours(count);
  for (Colour& colour : colours) {
    colour.red = component();
    colour.green = component();
    colour.blue = component();
  }
  return colours;
}

namespace {

// Slot colours drawn so far, shared by all images of the process: drawing them is a third of the
// set-up of a 481 x 321 photo at count 1000 (38801 slots: 6.1 M of 17.4 M instructions outside
// the block statistics and the candidates), copying them a fiftieth of that. Tables beyond
// `largestShared` slots are drawn for the image alone, so that no run keeps more than 12 MB.
class SharedColours {
 public:
  static constexpr std::int32_t largestShared = 1 << 20;

  // Fills the three components of slots 0 .. count - 1.
  void fill(std::int32_t count, std::vector<float>& red, std::vector<float>& green,
            std::vector<float>& blue) {
    std::lock_guard<std::mutex> guard(lock_);
    if (count > largestShared) {
      const std::vector<Colour> colours = displayColours(count);
      for (std::int32_t i = 0; i < count; ++i) {
        red[i] = colours[i].red;
        green[i] = colours[i].green;
        blue[i] = colours[i].blue;
      }
      return;
    }
    if (static_cast<std::int32_t>(colours_.size()) < count) {
      // The draws continue where the last image stopped: the same sequence as a fresh generator's
      // from slot 0.
      const auto component = [this] {
        return static_cast<float>(static_cast<double>(generator_() % 21) / 21.0);
      };
      while (static_cast<std::int32_t>(colours_.size()) < count) {
        Colour colour;
        colour.red = component();
        colour.green = component();
        colour.blue = component();
        colours_.push_back(colour);
      }
    }
    for (std::int32_t i = 0; i < count; ++i) {
      red[i] = colours_[i].red;
      green[i] = colours_[i].green;
      blue[i] = colours_[i].blue;
    }
  }

 private:
  std::mutex lock_;
  std::mt19937 generator_;
  std::vector<Colour> colours_;
};

SharedColours sharedColours;

}  // namespace

LabelMap::LabelMap(std::int32_t width, std::int32_t height, std::int32_t blockWidth,
                   std::int32_t blockHeight) {
  const std::int32_t columns = blocksToCover(width, blockWidth);
  const std::int32_t rows = blocksToCover(height, blockHeight);
  slotCount = columns * rows;
  red.resize(slotCount);
  green.resize(slotCount);
  blue.resize(slotCount);
  labels.resize(static_cast<std::size_t>(width) * height);

  sharedColours.fill(slotCount, red, green, blue);

  // Block by block along each row rather than a division per pixel.
  std::int32_t* label = labels.data();
  for (std::int32_t y = 0; y < height; ++y) {
    const std::int32_t rowSlot = columns * (y / blockHeight);
    for (std::int32_t x = 0, column = 0; x < width; x += blockWidth, ++column) {
      label = std::fill_n(label, std::min(blockWidth, width - x), rowSlot + column);
    }
  }
}

}  // namespace superpixels
