#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include <opencv2/core/utils/logger.hpp>

#include "arguments.hpp"

int main(int argc, char** argv) {
  // Memory freed after one image stays with the process for the next: handing it back to the
  // system and faulting it in again cost more than the set-up of an image (count 1000 on a
  // BSDS500 photo: set-up 54 ms -> 14 ms, merging 100 ms -> 85 ms in this machine's VM).
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  // OpenCV's decoders write lines of their own to standard error, through its log ("[ WARN:0@0.1]
  // ... failed TIFFReadRGBATile") and straight to std::cerr ("imdecode_(''): can't read data"), at
  // any moment of a run with several jobs; the failure is in the tool's one line for that file.
  // Both are the process's settings: made here, not in the library. The tool's own lines go to
  // standard error through `console`, std::cerr itself writes nothing.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  std::ostream console(std::cerr.rdbuf());
  console.tie(&std::cout);
  console.setf(std::ios::unitbuf);
  std::cerr.rdbuf(nullptr);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return superpixels::runCommandLine(arguments, std::cout, console);
}
