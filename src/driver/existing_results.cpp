#include "driver/existing_results.hpp"

#include <fstream>
#include <iterator>

#include "image/png_structure.hpp"
#include "output/label_file.hpp"

namespace superpixels {

namespace {

// The chunk list of the PNG at `path`, CRCs unchecked.
PngStructure pngStructure(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in || !hasPngSignature(in)) return {};
  return readPngStructure(in, false);
}

// The record of a result PNG, or nothing.
const std::string* recordOf(const PngStructure& png) {
  for (const auto& [keyword, text] : png.texts) {
    if (keyword == resultRecordKeyword) return &text;
  }
  return nullptr;
}

}  // namespace

bool resultsComplete(const ResultFiles& files, const std::string& settings) {
  // As writeResults records it: a line feed ends the settings' last line.
  const std::string record =
      settings.empty() || settings.back() == '\n' ? settings : settings + "\n";
  const PngStructure boundary = pngStructure(files.boundaryImage);
  if (!boundary.ok || boundary.width == 0 || boundary.height == 0) return false;
  // Other settings are told before the label file is read.
  const std::string* recorded = recordOf(boundary);
  if (recorded == nullptr || recorded->compare(0, record.size(), record) != 0) return false;
  const PngStructure partition = pngStructure(files.partitionImage);
  if (!partition.ok || partition.width != boundary.width || partition.height != boundary.height) {
    return false;
  }
  // The tables, when asked for, are written atomically after the label file: there, or not.
  for (const std::string* table : {&files.regions, &files.adjacency}) {
    if (!table->empty() && !std::ifstream(*table)) return false;
  }
  const std::string* partitionRecord = recordOf(partition);
  if (partitionRecord == nullptr || *partitionRecord != *recorded) return false;
  std::ifstream in(files.labels, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return isWholeLabelText(text, boundary.width, boundary.height) &&
         *recorded == record + "labels=" + labelChecksum(text) + "\n";
}

}  // namespace superpixels
