#pragma once

#include <cstdint>
#include <vector>

namespace superpixels {

// Dense indices 0 .. count - 1 for the distinct labels of a label map other than -1, in ascending
// order of label, so that per-label tables can be plain arrays whatever the labels' values.
class LabelIndex {
 public:
  explicit LabelIndex(const std::vector<std::int32_t>& labels);

  std::int32_t count() const { return static_cast<std::int32_t>(values_.size()); }
  // The label of index i.
  std::int32_t label(std::int32_t i) const { return values_[i]; }
  // The index of every pixel's label, -1 for the label -1. For labels 0 .. count - 1 (and -1),
  // as the engine gives them, the labels themselves, not copied.
  const std::int32_t* indices() const { return identity_ != nullptr ? identity_ : indices_.data(); }

 private:
  std::vector<std::int32_t> values_;
  std::vector<std::int32_t> indices_;
  const std::int32_t* identity_ = nullptr;
};

// Throws std::invalid_argument unless `labels` holds width x height values.
void requireLabelMapSize(const std::vector<std::int32_t>& labels, std::int32_t width,
                         std::int32_t height);

}  // namespace superpixels
