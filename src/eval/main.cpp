#include <iostream>
#include <string>
#include <vector>

#include <opencv2/core/utils/logger.hpp>

#include "eval/eval_command.hpp"

int main(int argc, char** argv) {
  // OpenCV's own log lines ("imread_(...): can't read header") would reach standard error raw, at
  // any moment of a run with several jobs; the reason of a failed read is in the tool's one line
  // for that file. The setting is the process's: set here, not in the library.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return superpixels::eval::runEval(arguments, std::cout, std::cerr);
}
