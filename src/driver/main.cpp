#include <iostream>
#include <string>
#include <vector>

#include "driver/arguments.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return superpixels::runCommandLine(arguments, std::cout, std::cerr);
}
