#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch.hpp"

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

// Parses `superpixels [options] INPUT OUTPUT COUNT WEIGHT`. COUNT is an optional "+" and decimal
// digits, from 1 to maxSuperpixelCount; WEIGHT a decimal number (optional sign, fraction and
// exponent; no blanks, "inf" or "nan"), rounded to single precision, 0 or more and finite. Anything
// else is a usage error whose one-line message names the argument and repeats what was typed
// (`COUNT "200px" is not a whole number`). Arguments starting with "-" are options, except "-"
// itself and numbers such as "-5" (which COUNT then refuses); "--" ends the options. Options taking
// a value accept "--name value" and "--name=value"; see usageText().
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

// Usage text, ending with a line feed.
std::string usageText();

// Runs the tool for the arguments after the program name and returns its exit code. A run
// (not --help, --version or bad arguments) stops cleanly on SIGINT, SIGTERM and SIGHUP, ending the
// process by that signal (see StopOnSignals); call it before starting other threads.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace superpixels
