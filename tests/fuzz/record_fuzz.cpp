#include "record_fuzz.hpp"

#include <string_view>

#include "image/png_structure.hpp"
#include "output/result_records.hpp"
#include "superpixels/io.hpp"

namespace superpixels::fuzz {

std::string checkRecord(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ResultRecord record = resultRecord(bytes);
  if (record.ok) {
    const ResultRecord* png = &record;
    const std::string& role = record.role;
    if (role != "overlay" && role != "partition") return "accepted the role " + role;
    const PngContents contents = readPngContents(bytes);
    if (!contents.ok) return "accepted as " + role + " but no whole PNG";
    if (png->width < 1 || png->height < 1) return "accepted an empty size";
    const std::string text =
        png->shared + "file=" + role + "\npixels=" + checksum(contents.imageData) + "\n";
    bool found = false;
    for (const auto& [keyword, recorded] : contents.texts) {
      found = found || (keyword == resultRecordKeyword && recorded == text);
    }
    if (!found) return "accepted as " + role + " a record that is not in the file";
  }
  return "";
}

}  // namespace superpixels::fuzz
