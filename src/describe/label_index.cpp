#include "describe/label_index.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace superpixels {

void requireLabelMapSize(const std::vector<std::int32_t>& labels, std::int32_t width,
                         std::int32_t height) {
  if (width < 0 || height < 0 ||
      labels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    throw std::invalid_argument("labels hold " + std::to_string(labels.size()) + " values, not " +
                                std::to_string(width) + " x " + std::to_string(height));
  }
}

LabelIndex::LabelIndex(const std::vector<std::int32_t>& labels) {
  if (labels.empty()) return;
  const auto [lowest, highest] = std::minmax_element(labels.begin(), labels.end());
  const std::int64_t span = static_cast<std::int64_t>(*highest) - *lowest;
  if (*lowest >= -1 && span <= 4 * static_cast<std::int64_t>(labels.size()) + 64) {
    // Labels from a segmentation are small: a lookup table, indexed by label + 1.
    std::vector<std::int32_t> table(static_cast<std::size_t>(*highest) + 2, 0);
    for (const std::int32_t l : labels) table[l + 1] = 1;
    table[0] = 0;
    for (std::int32_t l = 0; l <= *highest; ++l) {
      if (table[l + 1]) {
        table[l + 1] = static_cast<std::int32_t>(values_.size());
        values_.push_back(l);
      }
    }
    if (values_.size() == static_cast<std::size_t>(*highest) + 1) {
      identity_ = labels.data();  // every label from 0 to the largest is used
      return;
    }
    table[0] = -1;
    indices_.resize(labels.size());
    for (std::size_t p = 0; p < labels.size(); ++p) indices_[p] = table[labels[p] + 1];
    return;
  }
  values_ = labels;
  std::sort(values_.begin(), values_.end());
  values_.erase(std::unique(values_.begin(), values_.end()), values_.end());
  const auto minusOne = std::lower_bound(values_.begin(), values_.end(), -1);
  const bool hasMinusOne = minusOne != values_.end() && *minusOne == -1;
  if (hasMinusOne) values_.erase(minusOne);
  indices_.resize(labels.size());
  for (std::size_t p = 0; p < labels.size(); ++p) {
    indices_[p] =
        labels[p] == -1
            ? -1
            : static_cast<std::int32_t>(
                  std::lower_bound(values_.begin(), values_.end(), labels[p]) - values_.begin());
  }
}

}  // namespace superpixels
