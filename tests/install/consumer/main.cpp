// Segments one image with the installed library: consumer IMAGE COUNT WEIGHT. The README shows
// this program; the install test builds it against a fresh install prefix.
#include <cstdlib>
#include <iostream>

#include <opencv2/imgcodecs.hpp>
#include <superpixels/superpixels.hpp>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const cv::Mat image = cv::imread(argv[1], cv::IMREAD_COLOR);  // 8-bit BGR, as the tool reads
  superpixels::Options options;
  options.superpixelCount = std::atoi(argv[2]);
  options.weightFactor = static_cast<float>(std::atof(argv[3]));
  const superpixels::Result result = superpixels::segment(image, options);
  std::cout << "superpixels " << superpixels::version() << ": " << result.width << " x "
            << result.height << " pixels, " << result.regionCount << " superpixels\n";
}
