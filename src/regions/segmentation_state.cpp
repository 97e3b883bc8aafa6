#include "regions/segmentation_state.hpp"

namespace superpixels {

void listActiveRegions(SegmentationState& state) {
  state.activeRegions.clear();
  state.positions.assign(state.labelMap.slotCount, -1);
  for (std::int32_t i = 0; i < state.labelMap.slotCount; ++i) {
    if (state.regionStats[i].count > 0.0) {
      state.positions[i] = static_cast<std::int32_t>(state.activeRegions.size());
      state.activeRegions.push_back(i);
    }
  }
  state.regionCount = static_cast<std::int32_t>(state.activeRegions.size());
}

}  // namespace superpixels
