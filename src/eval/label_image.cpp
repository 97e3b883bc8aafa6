#include "label_image.hpp"

#include <algorithm>

namespace superpixels::eval {

LabelImage compactLabelImage(int width, int height, std::vector<std::int32_t> labels) {
  LabelImage image;
  image.width = width;
  image.height = height;
  const auto [lowest, highest] = std::minmax_element(labels.begin(), labels.end());
  const std::int32_t minLabel = labels.empty() ? 0 : *lowest;
  const std::int32_t maxLabel = labels.empty() ? -1 : *highest;
  if (minLabel >= 0 &&
      static_cast<std::int64_t>(maxLabel) <= 4 * static_cast<std::int64_t>(labels.size()) + 64) {
    // Usual case, labels are small: a dense lookup table.
    std::vector<std::int32_t> newLabel(static_cast<std::size_t>(maxLabel) + 1, 0);
    for (const std::int32_t l : labels) newLabel[l] = 1;
    std::int32_t next = 0;
    for (std::int32_t& n : newLabel) n = n ? next++ : -1;
    for (std::int32_t& l : labels) l = newLabel[l];
    image.count = next;
  } else {
    std::vector<std::int32_t> values = labels;
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    for (std::int32_t& l : labels) {
      l = static_cast<std::int32_t>(std::lower_bound(values.begin(), values.end(), l) -
                                    values.begin());
    }
    image.count = static_cast<std::int32_t>(values.size());
  }
  image.labels = std::move(labels);
  return image;
}

}  // namespace superpixels::eval
