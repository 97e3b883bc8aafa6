#include "label_formats.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace superpixels::eval {

namespace {

constexpr std::int64_t maxLabelCount = std::numeric_limits<std::int32_t>::max();

bool fitsLabel(double value) {
  return value >= std::numeric_limits<std::int32_t>::min() &&
         value <= std::numeric_limits<std::int32_t>::max();
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The value of `key` in the header dictionary of a .npy file ("'descr': '<i8'" gives "'<i8'"),
// up to the next comma outside parentheses; empty when absent.
std::string_view headerValue(std::string_view header, std::string_view key) {
  std::string quoted(key.size() + 2, '\'');
  std::copy(key.begin(), key.end(), quoted.begin() + 1);
  const std::size_t at = header.find(quoted);
  if (at == std::string_view::npos) return {};
  std::size_t p = header.find(':', at);
  if (p == std::string_view::npos) return {};
  ++p;
  while (p < header.size() && header[p] == ' ') ++p;
  std::size_t end = p;
  int depth = 0;
  while (end < header.size() && (depth > 0 || (header[end] != ',' && header[end] != '}'))) {
    depth += header[end] == '(' ? 1 : header[end] == ')' ? -1 : 0;
    ++end;
  }
  return header.substr(p, end - p);
}

// "(321, 481)" into its two sizes; false unless exactly two positive sizes.
bool parseShape(std::string_view text, std::int64_t& rows, std::int64_t& columns) {
  if (text.size() < 2 || text.front() != '(' || text.back() != ')') return false;
  std::int64_t sizes[3];
  int count = 0;
  const char* p = text.data() + 1;
  const char* const end = text.data() + text.size() - 1;
  while (p != end) {
    while (p != end && (*p == ' ' || *p == ',')) ++p;
    if (p == end) break;
    if (count == 3) return false;
    const auto [next, ec] = std::from_chars(p, end, sizes[count]);
    if (ec != std::errc() || next == p) return false;
    ++count;
    p = next;
  }
  if (count != 2 || sizes[0] < 1 || sizes[1] < 1) return false;
  rows = sizes[0];
  columns = sizes[1];
  return true;
}

// One value of `size` bytes at `p`, in the given byte order and signedness, widened.
template <typename Out>
bool readValue(const unsigned char* p, int size, bool bigEndian, bool isSigned, Out& out) {
  std::uint64_t bits = 0;
  for (int i = 0; i < size; ++i) {
    const unsigned char byte = bigEndian ? p[i] : p[size - 1 - i];
    bits = (bits << 8) | byte;
  }
  if (isSigned) {
    const int shift = 64 - 8 * size;
    const std::int64_t value = static_cast<std::int64_t>(bits << shift) >> shift;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
      return false;
    }
    out = static_cast<Out>(value);
    return true;
  }
  if (bits > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
  out = static_cast<Out>(bits);
  return true;
}

}  // namespace

bool isToolLabelText(std::string_view text) {
  const std::size_t lineEnd = text.find('\n');
  if (lineEnd == std::string_view::npos) return false;
  std::string_view line = text.substr(0, lineEnd);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return !line.empty() && line.back() == '\t';
}

bool parseNumberText(std::string_view text, LabelGrid& grid, std::string& error) {
  std::vector<std::int32_t> labels;
  std::int64_t width = -1;
  std::int64_t rows = 0;
  std::int64_t firstRowLine = 0;
  std::int64_t lineNumber = 0;
  std::size_t start = 0;
  const auto fail = [&](const std::string& reason) {
    error = "line " + std::to_string(lineNumber) + ": " + reason;
    return false;
  };
  while (start < text.size()) {
    ++lineNumber;
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = line.substr(0, line.find('#'));
    std::int64_t values = 0;
    std::size_t p = 0;
    for (;;) {
      while (p < line.size() && isBlank(line[p])) ++p;
      if (p == line.size()) break;
      std::size_t q = p;
      while (q < line.size() && !isBlank(line[q])) ++q;
      const std::string_view token = line.substr(p, q - p);
      double value = 0.0;
      const auto [next, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
      const std::string which = "value " + std::to_string(values + 1);
      if (ec == std::errc::result_out_of_range) return fail(which + " is out of range");
      if (ec != std::errc() || next != token.data() + token.size()) {
        return fail(which + " is not a number");
      }
      if (!std::isfinite(value) || value != std::floor(value)) {
        return fail(which + " is not a whole number");
      }
      if (!fitsLabel(value)) return fail(which + " does not fit in 32 bits");
      labels.push_back(static_cast<std::int32_t>(value));
      ++values;
      p = q;
    }
    if (values == 0) continue;  // blank or comment
    if (width < 0) {
      width = values;
      firstRowLine = lineNumber;
    } else if (values != width) {
      return fail(std::to_string(values) + " values, line " + std::to_string(firstRowLine) +
                  " has " + std::to_string(width));
    }
    ++rows;
    if (rows * width > maxLabelCount) return fail("image too large");
  }
  if (width < 0) {
    error = "no numbers";
    return false;
  }
  grid.width = static_cast<std::int32_t>(width);
  grid.height = static_cast<std::int32_t>(rows);
  grid.labels = std::move(labels);
  return true;
}

bool parseNpy(std::string_view bytes, LabelGrid& grid, std::string& error) {
  const auto fail = [&](const std::string& reason) {
    error = reason;
    return false;
  };
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 10 || bytes.substr(0, 6) != "\x93NUMPY") return fail("not a .npy file");
  const int major = data[6];
  if (major < 1 || major > 3) return fail("unknown .npy format version " + std::to_string(major));
  const std::size_t lengthBytes = major == 1 ? 2 : 4;
  if (bytes.size() < 8 + lengthBytes) return fail("truncated .npy header");
  std::size_t headerLength = 0;
  for (std::size_t i = lengthBytes; i-- > 0;) headerLength = (headerLength << 8) | data[8 + i];
  const std::size_t dataStart = 8 + lengthBytes + headerLength;
  if (bytes.size() < dataStart) return fail("truncated .npy header");
  const std::string_view header = bytes.substr(8 + lengthBytes, headerLength);

  const std::string_view descr = headerValue(header, "descr");
  const std::string_view order = headerValue(header, "fortran_order");
  std::int64_t rows = 0, columns = 0;
  if (descr.size() != 5 || (descr.front() != '\'' && descr.front() != '"') ||
      descr.back() != descr.front()) {
    return fail("damaged .npy header: no plain dtype");
  }
  const char byteOrder = descr[1];
  const char kind = descr[2];
  const int size = descr[3] - '0';
  if ((kind != 'i' && kind != 'u') || (size != 1 && size != 2 && size != 4 && size != 8) ||
      (byteOrder != '<' && byteOrder != '>' && byteOrder != '|' && byteOrder != '=')) {
    return fail("dtype " + std::string(descr.substr(1, 3)) + " is not an integer type");
  }
  if (order != "False" && order != "True") return fail("damaged .npy header: no fortran_order");
  if (!parseShape(headerValue(header, "shape"), rows, columns)) {
    return fail("not a two-dimensional array of at least one value");
  }
  if (rows > maxLabelCount || columns > maxLabelCount || rows * columns > maxLabelCount) {
    return fail("image too large");
  }
  const std::size_t count = static_cast<std::size_t>(rows * columns);
  if (bytes.size() - dataStart != count * static_cast<std::size_t>(size)) {
    return fail(bytes.size() - dataStart < count * static_cast<std::size_t>(size)
                    ? "data cut short"
                    : "data longer than the shape says");
  }
  // '=' is the writer's native order; numpy writes '<' or '>' instead, but tolerate it as the
  // little-endian machines this runs on.
  const bool bigEndian = byteOrder == '>';
  const bool fortran = order == "True";
  std::vector<std::int32_t> labels(count);
  const unsigned char* value = data + dataStart;
  for (std::size_t i = 0; i < count; ++i, value += size) {
    // In Fortran order the file runs down the columns.
    const std::size_t row = fortran ? i % static_cast<std::size_t>(rows) : i / columns;
    const std::size_t column = fortran ? i / static_cast<std::size_t>(rows) : i % columns;
    if (!readValue(value, size, bigEndian, kind == 'i', labels[row * columns + column])) {
      return fail("row " + std::to_string(row) + ", column " + std::to_string(column) +
                  ": value does not fit in 32 bits");
    }
  }
  grid.width = static_cast<std::int32_t>(columns);
  grid.height = static_cast<std::int32_t>(rows);
  grid.labels = std::move(labels);
  return true;
}

}  // namespace superpixels::eval
