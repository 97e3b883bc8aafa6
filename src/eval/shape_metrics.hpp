#pragma once

#include <cstdint>

#include "label_image.hpp"

namespace superpixels::eval {

// Compactness after Schick et al.: sum over superpixels S of |S| / N x 4 pi A_S / P_S^2, with
// A_S = |S| pixels and P_S the number of unit pixel edges between S and another superpixel or the
// outside of the image. 1 would be a disc; a square of pixels scores pi / 4.
double compactness(const LabelImage& image);

// Number of superpixels whose pixels do not form one 8-connected piece.
std::int32_t notConnectedCount(const LabelImage& image);

}  // namespace superpixels::eval
