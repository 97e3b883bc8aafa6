// The records that tie a result's files together, read back: readResultRecord, resultsComplete
// and resultsBelongTogether of the public I/O header.

#include "output/result_records.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "image/png_structure.hpp"
#include "image/regular_file.hpp"

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

ResultRecord resultRecord(std::string_view png) {
  ResultRecord result;
  const PngContents contents = readPngContents(png);
  if (!contents.ok || contents.width == 0 || contents.height == 0) return result;
  for (const auto& [keyword, text] : contents.texts) {
    if (keyword != resultRecordKeyword) continue;
    for (const std::string_view role : {"overlay", "partition"}) {
      const std::string own = "file=" + std::string(role) +
                              "\npixels=" + checksum(contents.imageData) + "\n";
      if (text.size() < own.size() || text.compare(text.size() - own.size(), own.size(), own) != 0 ||
          (text.size() > own.size() && text[text.size() - own.size() - 1] != '\n')) {
        continue;
      }
      result.ok = true;
      result.width = contents.width;
      result.height = contents.height;
      result.role = role;
      result.shared = text.substr(0, text.size() - own.size());
      return result;
    }
    return result;
  }
  return result;
}

ResultRecord readResultRecord(const std::string& path) {
  const FileBytes file = readRegularFile(path, 24, pngFileBound);
  return file.ok ? resultRecord(file.bytes) : ResultRecord{};
}

namespace {

// The record of the result PNG at `path`, when it is one of `role`.
ResultRecord recordOfRole(const std::string& path, std::string_view role) {
  ResultRecord record = readResultRecord(path);
  return record.ok && record.role == role ? record : ResultRecord{};
}

// True when the result set `files` is whole and its files belong together; with `settings`, only
// when the PNGs record those settings (the record's lines before those that tie the files
// together). Checks every file and every checksum the PNGs record.
bool checkedSet(const ResultFiles& files, const std::string* settings) {
  const ResultRecord overlay = recordOfRole(files.boundaryImage, "overlay");
  if (!overlay.ok) return false;
  // Other settings are told before the other files are read.
  if (settings != nullptr && overlay.shared.compare(0, settings->size(), *settings) != 0) {
    return false;
  }
  const ResultRecord partition = recordOfRole(files.partitionImage, "partition");
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
      readFileBytes(files.labels, bytesBound(height * (width * (labelDigits + 1) + 2)));
  if (!labels.ok || !isWholeLabelText(labels.bytes, overlay.width, overlay.height)) return false;
  std::string tail = "labels=" + checksum(labels.bytes) + "\n";
  const std::pair<const std::string*, const char*> tables[] = {{&files.regions, "regions"},
                                                               {&files.adjacency, "adjacency"}};
  for (const auto& [path, key] : tables) {
    if (path->empty()) continue;
    const FileBytes table = readFileBytes(*path, bytesBound((width * height + 1) * 1024));
    if (!table.ok) return false;
    tail.append(key).append("=").append(checksum(table.bytes)).append("\n");
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

bool resultsComplete(const ResultFiles& files, const std::string& record) {
  // As writeResults records it: a line feed ends the record's last line.
  const std::string recorded = withLineFeed(record);
  return checkedSet(files, &recorded);
}

bool resultsBelongTogether(const ResultFiles& files) { return checkedSet(files, nullptr); }

}  // namespace superpixels
