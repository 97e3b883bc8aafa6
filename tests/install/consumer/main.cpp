// Segments one image with the installed library: consumer IMAGE COUNT WEIGHT. The manual shows
// this program (docs/cpp.md includes this file); the install test builds it against a fresh
// install prefix.
#include <cstdlib>
#include <iostream>

#include <superpixels/io.hpp>
#include <superpixels/superpixels.hpp>
#include <superpixels/thread_pool.hpp>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  // Read as the tool reads: 8-bit BGR, the header checked before anything is decoded.
  const superpixels::ImageFile image = superpixels::readImage(argv[1]);
  if (!image.ok()) {
    std::cerr << argv[1] << ": " << image.error << "\n";
    return 1;
  }
  superpixels::Options options;
  options.superpixelCount = std::atoi(argv[2]);
  options.weightFactor = static_cast<float>(std::atof(argv[3]));
  // A program segmenting many images keeps one pool for them all (plain segment() shares the
  // library's own).
  superpixels::ThreadPool pool;
  const superpixels::Result result = superpixels::segment(image.bgr, options, pool);
  std::cout << "superpixels " << superpixels::version() << ": " << result.width << " x "
            << result.height << " pixels, " << result.regionCount << " superpixels\n";
}
