#pragma once

#include <string>
#include <vector>

#include "driver/batch.hpp"

namespace superpixels {

// What the command line asks for.
struct ParsedArguments {
  enum class Action { run, help, version, usageError };
  Action action = Action::usageError;
  RunOptions run;          // for Action::run
  std::string message;     // for Action::usageError: what is wrong, one line
  bool showUsage = false;  // for Action::usageError: the arguments were not understood at all
};

// Parses `superpixels [options] INPUT OUTPUT COUNT WEIGHT`. COUNT is read like C's atoi (leading
// blanks, a sign, the leading digits; 0 when there are none) and WEIGHT as the longest decimal
// floating-point prefix narrowed to single precision (0 when there is none); both are then checked.
// Arguments starting with "--" are options ("--" ends them); "-5" is a positional argument.
// `--jobs N` (or `--jobs=N`) sets the number of images segmented side by side, 1 .. 999999.
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

// Usage text, ending with a line feed.
std::string usageText();

// Runs the tool for the arguments after the program name and returns its exit code.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace superpixels
