#include "settings_record.hpp"

#include <charconv>


namespace superpixels {

namespace {

// The shortest decimal text that reads back to `value` in single precision ("0.1", "1e-05").
std::string shortest(float value) {
  char digits[32];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, end);
}

}  // namespace

std::string settingsRecord(const RunOptions& options) {
  std::string record;
  const auto line = [&](const char* key, const std::string& value) {
    record.append(key).append("=").append(value).append("\n");
  };
  line("version", version());
  line("count", std::to_string(options.segmentation.superpixelCount));
  line("weight", shortest(options.segmentation.weightFactor));
  line("connectivity", std::to_string(options.segmentation.connectivity));
  return record;
}

std::string maskLine(const std::string& relativePath, bool found, std::string_view bytes) {
  if (!found) return "mask=none\n";
  return "mask=" + relativePath + " " + checksum(bytes) + "\n";
}

std::string inputLine(std::string_view bytes) { return "input=" + checksum(bytes) + "\n"; }

}  // namespace superpixels
