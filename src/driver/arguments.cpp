#include "arguments.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <unistd.h>

#include "interruption.hpp"

namespace superpixels {

namespace {

constexpr int usageExitCode = 2;

ParsedArguments usageError(std::string message, bool showUsage = true) {
  ParsedArguments parsed;
  parsed.action = ParsedArguments::Action::usageError;
  parsed.message = std::move(message);
  parsed.showUsage = showUsage;
  return parsed;
}

// Most images segmented side by side: each has a thread of its own, so the cap on threads.
constexpr std::int64_t maxJobs = maxThreads;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A whole decimal number from 1 to `largest` in plain digits; 0 when the text is anything else.
std::int64_t parseWholeNumber(const std::string& text, std::int64_t largest) {
  if (text.empty() || text.size() > 18) return 0;
  std::int64_t value = 0;
  for (const char c : text) {
    if (!isDigit(c)) return 0;
    value = value * 10 + (c - '0');
  }
  return value <= largest ? value : 0;
}

// How messages name an argument: its name and, in double quotes, what was typed.
std::string named(const std::string& name, const std::string& text) {
  return name + " \"" + text + "\"";
}

// COUNT: an optional "+", then decimal digits and nothing else, from 1 to maxSuperpixelCount. Sets
// `count`, or returns what is wrong.
std::string parseCount(const std::string& text, std::int32_t& count) {
  const std::size_t start = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  const bool digits = text.size() > start && std::all_of(text.begin() + start, text.end(), isDigit);
  if (!digits) return named("COUNT", text) + " is not a whole number";
  std::int64_t value = 0;
  for (std::size_t i = start; i < text.size() && value <= maxSuperpixelCount; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  if (text[0] == '-' || value < 1 || value > maxSuperpixelCount) {
    return named("COUNT", text) + " is out of range: must be from 1 to " +
           std::to_string(maxSuperpixelCount);
  }
  count = static_cast<std::int32_t>(value);
  return {};
}

// True when `text` is a decimal number and nothing else: an optional sign, digits with an optional
// fraction (or a fraction alone), an optional exponent. No blanks, "inf", "nan" or hexadecimal.
bool isDecimalNumber(const std::string& text) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    return i - start;
  };
  const auto sign = [&] {
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  };
  sign();
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    sign();
    if (digits() == 0) return false;
  }
  return i == text.size();
}

// WEIGHT: a decimal number, rounded to double precision and then to single precision (as every
// earlier release did), without a minus sign and finite in single precision. Values too small for
// single precision become 0. Sets `weight`, or returns what is wrong.
std::string parseWeight(const std::string& text, float& weight) {
  if (!isDecimalNumber(text)) return named("WEIGHT", text) + " is not a decimal number";
  // The tool never sets a locale, so strtod reads "." as the decimal point.
  const float value = static_cast<float>(std::strtod(text.c_str(), nullptr));
  // By its sign, not its value: "-0" and "-1e-50" (0 in single precision) are negative too.
  if (text[0] == '-') return named("WEIGHT", text) + " is negative: must be 0 or more";
  if (!std::isfinite(value)) {
    return named("WEIGHT", text) + " is too large: must be at most 3.4e38";
  }
  weight = value;
  return {};
}

}  // namespace

std::string usageText() {
  return "Usage: superpixels [OPTIONS] INPUT OUTPUT COUNT WEIGHT\n"
         "\n"
         "Partitions every image (.png, .jpg, .jpeg, .bmp, .ppm, .tif, .tiff, .webp, in any case)\n"
         "under the folder INPUT, or the single image file INPUT, into about COUNT superpixels\n"
         "and writes, mirroring the input tree,\n"
         "  OUTPUT/superpixels/.../NAME_KVR.png             the image with superpixel borders\n"
         "  OUTPUT/partition_results/.../NAME_partition.png every superpixel in one colour\n"
         "  OUTPUT/partition_results/.../NAME.txt           the superpixel number of every pixel\n"
         "\n"
         "  INPUT   folder tree to walk, or one image file\n"
         "  OUTPUT  existing folder that receives the results\n"
         "  COUNT   superpixels wanted per image: decimal digits, from 1 to 85899345\n"
         "  WEIGHT  compactness against colour uniformity: a decimal number, 0 or more\n"
         "          (0.5 is a good start)\n"
         "\n"
         "Options:\n"
         "  --jobs N        segment N images side by side (default: one per CPU the process\n"
         "                  may use); the results and the console lines are the same for every N\n"
         "  --threads N     threads working on one image, up to 4096 (default and 0: one per\n"
         "                  CPU it may use; workers with no image left help the others)\n"
         "  --max-pixels N  refuse, before decoding, any image of more than N pixels\n"
         "                  (default 100000000)\n"
         "  --shard I/N     segment only part I of N of the images (0 <= I < N), chosen by a\n"
         "                  stable hash of each image's path; the N parts together are one run\n"
         "  --connectivity N  4: every superpixel one piece through its pixels' sides only;\n"
         "                  8 (the default): corners count\n"
         "  --masks DIR     segment only inside masks: the mask of INPUT/sub/name.ext is\n"
         "                  DIR/sub/name.png, inside where any channel is not 0; -1 outside\n"
         "  --regions       also write NAME_regions.csv (a row of figures per superpixel) and\n"
         "                  NAME_adjacency.csv (touching superpixels) beside NAME.txt\n"
         "  --skip-existing leave an image alone when its results exist, are whole and\n"
         "                  record these settings (COUNT, WEIGHT, --connectivity, the mask,\n"
         "                  --regions, the version)\n"
         "  --progress      show a progress line on standard error (default: when it is a\n"
         "                  terminal); --no-progress never shows it\n"
         "  --quiet         no per-image lines on standard output\n"
         "  --help          show this text and exit\n"
         "  --version       show the version and exit\n"
         "\n"
         "Exit codes: 0 every image written, 1 some image or folder failed, 2 bad arguments,\n"
         "255 OUTPUT is unusable, 128 + N stopped by signal N (130 for Ctrl-C).\n";
}

namespace {

// Options that take a value: "--name value" or "--name=value".
bool takesValue(const std::string& name) {
  for (const char* option :
       {"--jobs", "--threads", "--shard", "--connectivity", "--masks", "--max-pixels"}) {
    if (name == option) return true;
  }
  return false;
}

// Sets the option `name` (one that takes a value) from `text`; returns why it cannot be, or
// nothing.
std::string setValueOption(const std::string& name, const std::string& text, RunOptions& run) {
  if (name == "--jobs") {
    run.jobs = static_cast<int>(parseWholeNumber(text, maxJobs));
    if (run.jobs < 1) {
      return named("--jobs", text) + " is not a whole number from 1 to " + std::to_string(maxJobs);
    }
  } else if (name == "--threads") {
    // 0: one per CPU the process may use, as Options::threads (and Python's threads=) take it.
    const std::int64_t threads = text == "0" ? 0 : parseWholeNumber(text, maxThreads);
    if (threads < 1 && text != "0") {
      return named("--threads", text) + " is not a whole number from 0 to " +
             std::to_string(maxThreads);
    }
    run.segmentation.threads = static_cast<std::int32_t>(threads);
  } else if (name == "--shard") {
    const std::optional<Shard> shard = parseShard(text);
    if (!shard) {
      return named("--shard", text) + " is not I/N with 0 <= I < N <= " +
             std::to_string(maxShardCount);
    }
    run.shard = *shard;
  } else if (name == "--connectivity") {
    if (text != "4" && text != "8") return named("--connectivity", text) + " is not 4 or 8";
    run.segmentation.connectivity = text == "4" ? 4 : 8;
  } else if (name == "--masks") {
    if (text.empty()) return "--masks needs a folder";
    run.masksFolder = text;
  } else if (name == "--max-pixels") {
    run.maxPixels = parseWholeNumber(text, maxPixelCount);
    if (run.maxPixels < 1) {
      return named("--max-pixels", text) + " is not a whole number from 1 to " +
             std::to_string(maxPixelCount);
    }
  }
  return {};
}

// Sets the option `argument` when it is one that takes no value; false when it is none.
bool setFlag(const std::string& argument, RunOptions& run, std::optional<bool>& progress) {
  if (argument == "--regions") {
    run.writeRegions = true;
  } else if (argument == "--skip-existing") {
    run.skipExisting = true;
  } else if (argument == "--quiet") {
    run.quiet = true;
  } else if (argument == "--progress") {
    progress = true;
  } else if (argument == "--no-progress") {
    progress = false;
  } else {
    return false;
  }
  return true;
}

// The run of INPUT OUTPUT COUNT WEIGHT, given the options already read into `run`.
ParsedArguments withPositional(const std::vector<std::string>& positional, RunOptions run,
                               std::optional<bool> progress) {
  if (positional.size() < 4) return usageError("expected 4 arguments: INPUT OUTPUT COUNT WEIGHT");
  if (positional.size() > 4) return usageError("unexpected argument \"" + positional[4] + "\"");

  run.inputFolder = positional[0];
  run.outputFolder = positional[1];
  if (std::string why = parseCount(positional[2], run.segmentation.superpixelCount); !why.empty()) {
    return usageError(std::move(why), false);
  }
  if (std::string why = parseWeight(positional[3], run.segmentation.weightFactor); !why.empty()) {
    return usageError(std::move(why), false);
  }
  ParsedArguments parsed;
  parsed.action = ParsedArguments::Action::run;
  parsed.run = std::move(run);
  parsed.progress = progress;
  return parsed;
}

}  // namespace

ParsedArguments parseArguments(const std::vector<std::string>& arguments) {
  std::vector<std::string> positional;
  RunOptions run;
  std::optional<bool> progress;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    // "-5" and "-.5" are numbers (refused later as COUNT or WEIGHT), "-" is a name; any other
    // argument starting with "-" is an option.
    const bool option =
        argument.size() > 1 && argument[0] == '-' && !isDigit(argument[1]) && argument[1] != '.';
    if (optionsEnded || !option) {
      positional.push_back(argument);
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "--version") {
      ParsedArguments parsed;
      parsed.action = argument == "--help" ? ParsedArguments::Action::help
                                           : ParsedArguments::Action::version;
      return parsed;
    } else if (takesValue(name)) {
      std::string text;
      if (equals != std::string::npos) {
        text = argument.substr(equals + 1);
      } else if (i + 1 < arguments.size()) {
        text = arguments[++i];
      } else {
        return usageError(name + " needs a value");
      }
      if (std::string why = setValueOption(name, text, run); !why.empty()) {
        return usageError(std::move(why), false);
      }
    } else if (!setFlag(argument, run, progress)) {
      return usageError("unknown option \"" + argument + "\"");
    }
  }
  return withPositional(positional, std::move(run), progress);
}

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) {
  const ParsedArguments parsed = parseArguments(arguments);
  switch (parsed.action) {
    case ParsedArguments::Action::help:
      out << usageText() << std::flush;
      return 0;
    case ParsedArguments::Action::version:
      out << "superpixels " << version() << std::endl;
      return 0;
    case ParsedArguments::Action::usageError:
      err << "superpixels: " << parsed.message << "\n";
      if (parsed.showUsage) err << "\n" << usageText();
      err << std::flush;
      return usageExitCode;
    case ParsedArguments::Action::run:
      break;
  }
  RunOptions run = parsed.run;
  // A masks folder that is not there would leave every image unmasked without a word: a mistyped
  // argument, refused before anything is created.
  if (!run.masksFolder.empty()) {
    if (const std::string why = unusableFolder(run.masksFolder); !why.empty()) {
      err << "superpixels: " << named("--masks", run.masksFolder) << ": " << why << std::endl;
      return usageExitCode;
    }
  }
  run.showProgress = parsed.progress.value_or(::isatty(STDERR_FILENO) == 1);
  const StopOnSignals stopCleanly;
  return exitCode(runBatch(run, out, err));
}

}  // namespace superpixels
