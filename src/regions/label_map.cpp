#include "regions/label_map.hpp"

#include <algorithm>
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

LabelMap::LabelMap(std::int32_t width, std::int32_t height, std::int32_t blockWidth,
                   std::int32_t blockHeight) {
  const std::int32_t columns = blocksToCover(width, blockWidth);
  const std::int32_t rows = blocksToCover(height, blockHeight);
  slotCount = columns * rows;
  red.resize(slotCount);
  green.resize(slotCount);
  blue.resize(slotCount);
  labels.resize(static_cast<std::size_t>(width) * height);

  const std::vector<Colour> colours = displayColours(slotCount);
  for (std::int32_t i = 0; i < slotCount; ++i) {
    red[i] = colours[i].red;
    green[i] = colours[i].green;
    blue[i] = colours[i].blue;
  }

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
