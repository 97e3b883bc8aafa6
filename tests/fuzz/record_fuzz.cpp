#include "record_fuzz.hpp"

#include <string_view>

#include "driver/existing_results.hpp"
#include "image/png_structure.hpp"
#include "output/label_file.hpp"

namespace superpixels::fuzz {

std::string checkRecord(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ResultPng overlay = resultPng(bytes, "overlay");
  const ResultPng partition = resultPng(bytes, "partition");
  if (overlay.ok && partition.ok) return "accepted as both roles";
  for (const auto& [png, role] : {std::pair{&overlay, "overlay"}, {&partition, "partition"}}) {
    if (!png->ok) continue;
    const PngContents contents = readPngContents(bytes);
    if (!contents.ok) return std::string("accepted as ") + role + " but no whole PNG";
    if (png->width < 1 || png->height < 1) return "accepted an empty size";
    const std::string text =
        png->shared + "file=" + role + "\npixels=" + labelChecksum(contents.imageData) + "\n";
    bool found = false;
    for (const auto& [keyword, recorded] : contents.texts) {
      found = found || (keyword == resultRecordKeyword && recorded == text);
    }
    if (!found) return std::string("accepted as ") + role + " a record that is not in the file";
  }
  return "";
}

}  // namespace superpixels::fuzz
