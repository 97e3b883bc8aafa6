#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace superpixels::bench {

// A synthetic large photo of width x height: the example photo upscaled (bicubic) to half the
// size in each direction and tiled 2 x 2, mirrored so that the tiles meet without seams. Throws
// std::runtime_error when the example cannot be read.
cv::Mat makeLargePhoto(const std::string& example, int width, int height);

}  // namespace superpixels::bench
