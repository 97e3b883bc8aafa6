#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "superpixels_eval/evaluation.hpp"

namespace superpixels::eval {

struct EvalOptions {
  std::string labels;         // folder tree of label files, or one label file
  std::string groundTruth;    // folder of "<id>-<k>.png" / "<id>-<k>.txt"
  std::string images;         // folder of "<id>.jpg" etc.; empty: no explained variation
  std::string csv;            // CSV file to write; empty: none
  bool perImage = false;      // table line for every image
  BoundaryMatching matching;  // --window, --tolerance
  // Score the label files found, leaving out annotated images without one on purpose: no error.
  bool subset = false;
  // Label images, annotations and photos of more pixels are refused before decoding, as by the
  // tool's --max-pixels; the same default (checked where the options are parsed).
  std::int64_t maxPixels = 100000000;
};

struct ParsedEvalArguments {
  enum class Action { run, help, version, usageError };
  Action action = Action::usageError;
  EvalOptions options;  // for Action::run
  std::string message;  // for Action::usageError, one line
};

// Parses `superpixels-eval [OPTIONS] LABELS GROUND_TRUTH`; "--" ends the options.
ParsedEvalArguments parseEvalArguments(const std::vector<std::string>& arguments);

std::string evalUsageText();

// Evaluates every label file against its ground truths, prints the table on `out` and problems
// on `err` ("PATH: reason", one line each, the run going on). Returns 0 when every label file,
// ground truth and photo was used, 1 when something failed, 2 for bad arguments.
int runEval(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace superpixels::eval
