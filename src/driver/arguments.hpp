#pragma once

#include <optional>
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
  // --progress / --no-progress; without either, the progress line shows when standard error is a
  // terminal.
  std::optional<bool> progress;
};

// Parses `superpixels [options] INPUT OUTPUT COUNT WEIGHT`. COUNT is read like C's atoi (leading
// blanks, a sign, the leading digits; 0 when there are none) and WEIGHT as the longest decimal
// floating-point prefix narrowed to single precision (0 when there is none); both are then checked.
// Arguments starting with "--" are options ("--" ends them); "-5" is a positional argument.
// Options taking a value accept "--name value" and "--name=value"; see usageText().
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

// Usage text, ending with a line feed.
std::string usageText();

// Runs the tool for the arguments after the program name and returns its exit code.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace superpixels
