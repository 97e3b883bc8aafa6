#include "driver/existing_results.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "image/png_structure.hpp"
#include "image/regular_file.hpp"
#include "output/label_file.hpp"

namespace superpixels {

namespace {

std::uint64_t bytesBound(double bytes) {
  return bytes >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max()
                         : static_cast<std::uint64_t>(bytes);
}

std::string withLineFeed(const std::string& text) {
  return text.empty() || text.back() == '\n' ? text : text + "\n";
}

}  // namespace

ResultPng resultPng(std::string_view bytes, std::string_view role) {
  ResultPng result;
  const PngContents png = readPngContents(bytes);
  if (!png.ok || png.width == 0 || png.height == 0) return result;
  for (const auto& [keyword, text] : png.texts) {
    if (keyword != resultRecordKeyword) continue;
    const std::string own =
        "file=" + std::string(role) + "\npixels=" + labelChecksum(png.imageData) + "\n";
    if (text.size() < own.size() || text.compare(text.size() - own.size(), own.size(), own) != 0) {
      return result;
    }
    result.ok = true;
    result.width = png.width;
    result.height = png.height;
    result.shared = text.substr(0, text.size() - own.size());
    return result;
  }
  return result;
}

namespace {

// The result PNG at `path`, read whole when it is a regular file no larger than its header allows.
ResultPng readResultPng(const std::string& path, std::string_view role) {
  const FileBytes file = readRegularFile(path, 24, pngFileBound);
  return file.ok ? resultPng(file.bytes, role) : ResultPng{};
}

// True when the result set `files` is whole and its files belong together; with `settings`, only
// when the PNGs record those settings (the record's lines before those that tie the files
// together). Checks every file and every checksum the PNGs record.
bool checkedSet(const ResultFiles& files, const std::string* settings) {
  const ResultPng overlay = readResultPng(files.boundaryImage, "overlay");
  if (!overlay.ok) return false;
  // Other settings are told before the other files are read.
  if (settings != nullptr && overlay.shared.compare(0, settings->size(), *settings) != 0) {
    return false;
  }
  const ResultPng partition = readResultPng(files.partitionImage, "partition");
  if (!partition.ok || partition.width != overlay.width || partition.height != overlay.height ||
      partition.shared != overlay.shared) {
    return false;
  }
  // The text files are read with bounds that their format and the PNGs' size give: a label is at
  // most as long as the pixel count, a table line is short and there are at most two adjacency
  // lines a pixel.
  const double width = static_cast<double>(overlay.width);
  const double height = static_cast<double>(overlay.height);
  const double labelDigits = std::max(2.0, std::floor(std::log10(width * height)) + 1);
  const FileBytes labels =
      readRegularFile(files.labels, bytesBound(height * (width * (labelDigits + 1) + 2)));
  if (!labels.ok || !isWholeLabelText(labels.bytes, overlay.width, overlay.height)) return false;
  std::string tail = "labels=" + labelChecksum(labels.bytes) + "\n";
  const std::pair<const std::string*, const char*> tables[] = {{&files.regions, "regions"},
                                                               {&files.adjacency, "adjacency"}};
  for (const auto& [path, key] : tables) {
    if (path->empty()) continue;
    const FileBytes table = readRegularFile(*path, bytesBound((width * height + 1) * 1024));
    if (!table.ok) return false;
    tail.append(key).append("=").append(labelChecksum(table.bytes)).append("\n");
  }
  // Tables made beside the results and not asked for now are left as they are, unchecked.
  std::string_view shared = overlay.shared;
  for (const auto& [path, key] : {tables[1], tables[0]}) {
    if (!path->empty() || shared.size() < 2) continue;
    const std::size_t lastLine = shared.find_last_of('\n', shared.size() - 2) + 1;
    if (shared.substr(lastLine).starts_with(std::string(key) + "=")) {
      shared.remove_suffix(shared.size() - lastLine);
    }
  }
  if (shared.size() < tail.size() ||
      shared.compare(shared.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  return settings == nullptr || shared.size() - tail.size() == settings->size();
}

}  // namespace

bool resultsComplete(const ResultFiles& files, const std::string& settings) {
  // As writeResults records it: a line feed ends the settings' last line.
  const std::string record = withLineFeed(settings);
  return checkedSet(files, &record);
}

bool resultsBelongTogether(const ResultFiles& files) { return checkedSet(files, nullptr); }

}  // namespace superpixels
