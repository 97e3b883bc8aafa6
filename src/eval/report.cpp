#include "report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace superpixels::eval {

namespace {

struct Column {
  const char* title;     // in the table
  const char* csvTitle;  // in the CSV header
};

constexpr Column columns[] = {
    {"annotations", "annotations"},
    {"recall", "boundary_recall"},
    {"precision", "boundary_precision"},
    {"UE", "undersegmentation_error"},
    {"ASA", "achievable_segmentation_accuracy"},
    {"EV", "explained_variation"},
    {"CO", "compactness"},
    {"superpixels", "superpixels"},
    {"not connected", "not_connected"},
};

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// Counts print without decimals when whole (one image), with two as averages.
std::string count(double value) { return fixed(value, value == std::floor(value) ? 0 : 2); }

// The cells of one row, in the order of `columns`; `decimals` for the scores.
std::vector<std::string> cells(const ImageScores& s, int decimals) {
  return {count(s.annotations),
          fixed(s.boundaryRecall, decimals),
          fixed(s.boundaryPrecision, decimals),
          fixed(s.undersegmentationError, decimals),
          fixed(s.achievableSegmentationAccuracy, decimals),
          s.explainedVariation ? fixed(*s.explainedVariation, decimals) : "n/a",
          fixed(s.compactness, decimals),
          count(s.superpixelCount),
          count(s.notConnectedCount)};
}

std::vector<ImageScores> scoresOf(const std::vector<ImageRow>& images) {
  std::vector<ImageScores> scores;
  for (const ImageRow& row : images) scores.push_back(row.scores);
  return scores;
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

void printTable(std::ostream& out, const std::vector<ImageRow>& images, bool perImage) {
  std::vector<std::pair<std::string, std::vector<std::string>>> rows;
  if (perImage) {
    for (const ImageRow& row : images) rows.emplace_back(row.name, cells(row.scores, 4));
  }
  rows.emplace_back(
      "average (" + std::to_string(images.size()) + (images.size() == 1 ? " image)" : " images)"),
      cells(averageScores(scoresOf(images)), 4));

  std::size_t nameWidth = 5;  // "image"
  for (const auto& row : rows) nameWidth = std::max(nameWidth, row.first.size());
  const auto line = [&](const std::string& name, const std::vector<std::string>& values) {
    std::string text = name + std::string(nameWidth - name.size(), ' ');
    for (std::size_t c = 0; c < values.size(); ++c) {
      const std::size_t width = std::max<std::size_t>(std::string(columns[c].title).size(), 6);
      text += "  " + std::string(width - std::min(width, values[c].size()), ' ') + values[c];
    }
    out << text << "\n";
  };
  std::vector<std::string> titles;
  for (const Column& column : columns) titles.emplace_back(column.title);
  line("image", titles);
  for (const auto& [name, values] : rows) line(name, values);
  out << std::flush;
}

std::string csvText(const std::vector<ImageRow>& images) {
  std::string text = "image";
  for (const Column& column : columns) text += std::string(",") + column.csvTitle;
  text += "\n";
  const auto row = [&](const std::string& name, const ImageScores& scores) {
    text += csvField(name);
    for (const std::string& cell : cells(scores, 6)) text += "," + cell;
    text += "\n";
  };
  for (const ImageRow& image : images) row(image.name, image.scores);
  row("average", averageScores(scoresOf(images)));
  return text;
}

}  // namespace superpixels::eval
