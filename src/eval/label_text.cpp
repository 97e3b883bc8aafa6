#include "eval/label_text.hpp"

#include <cstdint>
#include <cstdio>
#include <limits>

namespace superpixels::eval {

namespace {

std::string describe(char c) {
  if (c == '\t') return "a tab";
  if (c == '\r') return "a carriage return";
  if (c == '\n') return "a line feed";
  if (c == ' ') return "a space";
  if (c > ' ' && c < 127) return std::string("'") + c + "'";
  char code[16];
  std::snprintf(code, sizeof code, "byte 0x%02x", static_cast<unsigned char>(c));
  return code;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool parseLabelText(std::string_view text, LabelImage& image, std::string& error) {
  if (text.empty()) {
    error = "empty file";
    return false;
  }
  std::vector<std::int32_t> labels;
  labels.reserve(text.size() / 2);
  const char* p = text.data();
  const char* const end = p + text.size();
  std::int64_t width = -1;
  int line = 0;
  const auto fail = [&](const std::string& reason) {
    error = "line " + std::to_string(line) + ": " + reason;
    return false;
  };
  while (p != end) {
    ++line;
    std::int64_t rowLength = 0;
    for (;;) {
      if (p == end) return fail("file ends without CR LF");
      if (*p == '\r') {
        if (p + 1 == end || p[1] != '\n') return fail("carriage return without line feed");
        p += 2;
        break;
      }
      if (*p == '\n') return fail("line feed without carriage return");
      if (!isDigit(*p)) return fail("expected a digit, found " + describe(*p));
      std::int64_t value = 0;
      do {
        value = value * 10 + (*p++ - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return fail("label too large");
      } while (p != end && isDigit(*p));
      if (p == end) return fail("file ends without tab and CR LF");
      if (*p != '\t') return fail("label followed by " + describe(*p) + " instead of a tab");
      ++p;
      labels.push_back(static_cast<std::int32_t>(value));
      ++rowLength;
    }
    if (rowLength == 0) return fail("no labels");
    if (width < 0) {
      width = rowLength;
    } else if (rowLength != width) {
      return fail(std::to_string(rowLength) + " labels, line 1 has " + std::to_string(width));
    }
    if (static_cast<std::int64_t>(line) * width > std::numeric_limits<std::int32_t>::max()) {
      return fail("image too large");
    }
  }
  image = compactLabelImage(static_cast<int>(width), line, std::move(labels));
  return true;
}

}  // namespace superpixels::eval
