#include "eval_command.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

#include "dataset.hpp"
#include "image_evaluation.hpp"
#include "label_files.hpp"
#include "report.hpp"

namespace superpixels::eval {

static_assert(EvalOptions{}.maxPixels == defaultMaxPixels, "the tool's default pixel limit");

namespace {

ParsedEvalArguments usageError(std::string message) {
  ParsedEvalArguments parsed;
  parsed.message = std::move(message);
  return parsed;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isSingleFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

std::string sizeText(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// Loads the annotations of one label file that can be read and match its size.
std::vector<LabelImage> loadGroundTruths(const std::vector<std::string>& paths,
                                         const LabelImage& superpixels,
                                         const std::string& labelPath, std::int64_t maxPixels,
                                         std::ostream& err, bool& failed) {
  std::vector<LabelImage> truths;
  for (const std::string& path : paths) {
    LabelImage truth;
    std::string error;
    // An annotation image of another size is told by its header, before it is decoded: a 249 KB
    // PNG of 16000 x 16000 pixels would cost gigabytes first.
    if (!endsWith(path, ".txt") && !endsWith(path, ".npy")) {
      const ImageSize header = readImageSize(path);
      if (header.ok && (header.width != superpixels.width || header.height != superpixels.height)) {
        err << path << ": size " << header.width << "x" << header.height << " differs from "
            << sizeText(superpixels.width, superpixels.height) << " of " << labelPath << "\n";
        failed = true;
        continue;
      }
    }
    if (!loadLabelImage(path, truth, error, maxPixels)) {
      err << path << ": " << error << "\n";
      failed = true;
    } else if (truth.width != superpixels.width || truth.height != superpixels.height) {
      err << path << ": size " << sizeText(truth.width, truth.height) << " differs from "
          << sizeText(superpixels.width, superpixels.height) << " of " << labelPath << "\n";
      failed = true;
    } else {
      truths.push_back(std::move(truth));
    }
  }
  return truths;
}

// The photo of `id` for the explained variation; empty when there is none that fits.
cv::Mat loadMatchingPhoto(const std::string& folder, const std::string& id,
                          const LabelImage& superpixels, const std::string& labelPath,
                          std::int64_t maxPixels, std::ostream& err, bool& failed) {
  cv::Mat photo;
  const std::optional<std::string> path = findPhoto(folder, id);
  std::string error;
  if (!path) {
    err << labelPath << ": no photo named " << id << ".jpg (or .jpeg, .png, .ppm, .bmp, .tif, "
        << ".tiff) in " << folder << "\n";
  } else if (!loadPhoto(*path, photo, error, maxPixels)) {
    err << *path << ": " << error << "\n";
  } else if (photo.cols != superpixels.width || photo.rows != superpixels.height) {
    err << *path << ": size " << sizeText(photo.cols, photo.rows) << " differs from "
        << sizeText(superpixels.width, superpixels.height) << " of " << labelPath << "\n";
  } else {
    return photo;
  }
  failed = true;
  return cv::Mat();
}

}  // namespace

std::string evalUsageText() {
  return "Usage: superpixels-eval [OPTIONS] LABELS GROUND_TRUTH\n"
         "\n"
         "Scores superpixel label files against ground-truth segmentations.\n"
         "  LABELS        the tool's output folder, or any folder tree of label files NAME.txt\n"
         "                (the tool's, or numbers as numpy.savetxt writes them) or NAME.npy\n"
         "  GROUND_TRUTH  folder of annotations NAME-K.png (8- or 16-bit label images),\n"
         "                NAME-K.txt or NAME-K.npy; the annotations of an image are averaged\n"
         "\n"
         "Options:\n"
         "  --images DIR  photos NAME.jpg (.jpeg, .png, .ppm, .bmp, .tif, .tiff), for the\n"
         "                explained variation (n/a without)\n"
         "  --per-image   a table line for every image, not only the average\n"
         "  --csv FILE    also write one CSV row per image and an average row to FILE\n"
         "  --window disk|square\n"
         "                how boundary pixels match: disk (default), within Euclidean distance\n"
         "                R of one another; square, as in the benchmark of Stutz et al., within\n"
         "                a (2R+1) x (2R+1) square, boundary pixels on both sides of an edge\n"
         "  --tolerance R the matching distance in pixels, 0 to 1000000 (default: for disk\n"
         "                ceil(0.0025 x diagonal), for square round(0.0025 x diagonal))\n"
         "  --subset      score only the images that have label files: annotated images\n"
         "                without one are left out on purpose, not an error\n"
         "  --max-pixels N\n"
         "                refuse, before decoding, any label image, annotation or photo of\n"
         "                more than N pixels, and label text longer than such a map can be\n"
         "                (1 to 2147483647, default 100000000)\n"
         "  --help        show this text and exit\n"
         "  --version     show the version and exit\n"
         "\n"
         "Columns: boundary recall and precision, undersegmentation error (UE), achievable\n"
         "segmentation accuracy (ASA), explained variation (EV), compactness (CO), superpixel\n"
         "count, superpixels not one 8-connected piece.\n"
         "Exit codes: 0 all evaluated, 1 some file failed, 2 bad arguments.\n";
}

ParsedEvalArguments parseEvalArguments(const std::vector<std::string>& arguments) {
  ParsedEvalArguments parsed;
  EvalOptions& options = parsed.options;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.rfind("--", 0) != 0) {
      positional.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "--version") {
      parsed.action = argument == "--help" ? ParsedEvalArguments::Action::help
                                           : ParsedEvalArguments::Action::version;
      return parsed;
    } else if (argument == "--per-image") {
      options.perImage = true;
    } else if (argument == "--subset") {
      options.subset = true;
    } else if (argument == "--max-pixels") {
      if (i + 1 == arguments.size()) return usageError(argument + " needs a value");
      const std::string& value = arguments[++i];
      std::int64_t limit = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), limit);
      if (value.empty() || ec != std::errc() || end != value.data() + value.size() || limit < 1 ||
          limit > maxPixelCount) {
        return usageError("--max-pixels must be a whole number from 1 to " +
                          std::to_string(maxPixelCount) + ", not \"" + value + "\"");
      }
      options.maxPixels = limit;
    } else if (argument == "--window" || argument == "--tolerance") {
      if (i + 1 == arguments.size()) return usageError(argument + " needs a value");
      const std::string& value = arguments[++i];
      if (argument == "--window") {
        if (value != "disk" && value != "square") {
          return usageError("--window must be disk or square, not \"" + value + "\"");
        }
        options.matching.window = value == "disk" ? BoundaryWindow::disk : BoundaryWindow::square;
      } else {
        int tolerance = -1;
        const auto [end, ec] =
            std::from_chars(value.data(), value.data() + value.size(), tolerance);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
            tolerance < 0 || tolerance > maxTolerance) {
          return usageError("--tolerance must be a whole number from 0 to " +
                            std::to_string(maxTolerance) + ", not \"" + value + "\"");
        }
        options.matching.tolerance = tolerance;
      }
    } else if (argument == "--images" || argument == "--csv") {
      if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
        return usageError(argument + " needs a value");
      }
      (argument == "--images" ? options.images : options.csv) = arguments[++i];
    } else {
      return usageError("unknown option " + argument);
    }
  }
  if (positional.size() < 2) return usageError("expected 2 arguments: LABELS GROUND_TRUTH");
  if (positional.size() > 2) return usageError("unexpected argument " + positional[2]);
  options.labels = positional[0];
  options.groundTruth = positional[1];
  parsed.action = ParsedEvalArguments::Action::run;
  return parsed;
}

namespace {

// The row of one label file against its ground truths, or none when it cannot be evaluated (said
// on `err`).
std::optional<ImageRow> evaluateLabelFile(const LabelFile& file,
                                          const std::vector<std::string>& truthPaths,
                                          const EvalOptions& options, std::ostream& err,
                                          bool& failed) {
  LabelImage superpixels;
  std::string error;
  if (!loadLabelImage(file.path, superpixels, error, options.maxPixels)) {
    err << file.path << ": " << error << "\n";
    failed = true;
    return std::nullopt;
  }
  const std::vector<LabelImage> truths =
      loadGroundTruths(truthPaths, superpixels, file.path, options.maxPixels, err, failed);
  if (truths.empty()) return std::nullopt;
  cv::Mat photo;
  if (!options.images.empty()) {
    photo = loadMatchingPhoto(options.images, file.id, superpixels, file.path, options.maxPixels,
                              err, failed);
  }
  return ImageRow{file.name, evaluateImage(superpixels, truths, photo.empty() ? nullptr : &photo,
                                           options.matching)};
}

// Annotated images without a label file would silently shift the averages: one line naming a few
// of them, and true, when there are any. They are named with the suffix the label files found
// have: ".npy" for a folder of numpy label maps, else the tool's ".txt".
bool reportUnevaluated(const std::map<std::string, std::vector<std::string>>& groundTruths,
                       const std::set<std::string>& evaluatedIds,
                       const std::vector<LabelFile>& labelFiles, const EvalOptions& options,
                       std::ostream& err) {
  std::vector<std::string> missing;
  for (const auto& [id, paths] : groundTruths) {
    if (!evaluatedIds.count(id)) missing.push_back(id);
  }
  if (missing.empty()) return false;
  const bool allNpy = !labelFiles.empty() &&
                      std::all_of(labelFiles.begin(), labelFiles.end(),
                                  [](const LabelFile& f) { return endsWith(f.path, ".npy"); });
  const char* suffix = allNpy ? ".npy" : ".txt";
  err << options.groundTruth << ": " << missing.size() << " of " << groundTruths.size()
      << " annotated images have no label file under " << options.labels << " (";
  for (std::size_t i = 0; i < std::min<std::size_t>(missing.size(), 3); ++i) {
    err << (i ? ", " : "") << missing[i] << suffix;
  }
  err << (missing.size() > 3 ? ", ...)\n" : ")\n");
  return true;
}

// Writes the rows as CSV to `path`; false (said on `err`) when it cannot.
bool writeCsv(const std::string& path, const std::vector<ImageRow>& rows, std::ostream& err) {
  std::ofstream csv(path, std::ios::binary | std::ios::trunc);
  const std::string text = csvText(rows);
  if (!csv || !csv.write(text.data(), static_cast<std::streamsize>(text.size())).flush()) {
    err << path << ": cannot write (" << std::strerror(errno) << ")" << std::endl;
    return false;
  }
  return true;
}

}  // namespace

int runEval(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const ParsedEvalArguments parsed = parseEvalArguments(arguments);
  switch (parsed.action) {
    case ParsedEvalArguments::Action::help:
      out << evalUsageText() << std::flush;
      return 0;
    case ParsedEvalArguments::Action::version:
      out << "superpixels-eval " << SUPERPIXELS_VERSION << std::endl;
      return 0;
    case ParsedEvalArguments::Action::usageError:
      err << "superpixels-eval: " << parsed.message << "\n\n" << evalUsageText() << std::flush;
      return 2;
    case ParsedEvalArguments::Action::run:
      break;
  }
  const EvalOptions& options = parsed.options;
  std::vector<std::string> errors;
  const std::vector<LabelFile> labelFiles = findLabelFiles(options.labels, errors);
  const auto groundTruths = findGroundTruths(options.groundTruth, errors);
  for (const std::string& error : errors) err << error << "\n";
  bool failed = !errors.empty();
  if (labelFiles.empty() && errors.empty()) {
    err << options.labels << ": no label files (*.txt or *.npy)\n";
    failed = true;
  }

  std::vector<ImageRow> rows;
  std::set<std::string> evaluatedIds;
  for (const LabelFile& file : labelFiles) {
    const auto truthPaths = groundTruths.find(file.id);
    if (truthPaths == groundTruths.end()) {
      err << file.path << ": no ground truth " << file.id << "-K.png, .txt or .npy in "
          << options.groundTruth << "\n";
      failed = true;
      continue;
    }
    evaluatedIds.insert(file.id);
    if (std::optional<ImageRow> row =
            evaluateLabelFile(file, truthPaths->second, options, err, failed)) {
      rows.push_back(std::move(*row));
    }
  }
  // A single label file, or --subset, is a deliberate choice of images.
  if (!labelFiles.empty() && !isSingleFile(options.labels) && !options.subset) {
    failed = reportUnevaluated(groundTruths, evaluatedIds, labelFiles, options, err) || failed;
  }
  err << std::flush;
  if (rows.empty()) {
    if (!labelFiles.empty()) err << options.labels << ": no image could be evaluated" << std::endl;
    return 1;
  }
  printTable(out, rows, options.perImage);
  if (!options.csv.empty() && !writeCsv(options.csv, rows, err)) failed = true;
  return failed ? 1 : 0;
}

}  // namespace superpixels::eval
