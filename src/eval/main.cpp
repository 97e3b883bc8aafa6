#include <iostream>
#include <string>
#include <vector>

#include "eval/eval_command.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return superpixels::eval::runEval(arguments, std::cout, std::cerr);
}
