// The CSV forms of the two tables, declared in the public describe header.

#include <charconv>
#include <cmath>

#include "superpixels/describe.hpp"

namespace superpixels {

namespace {

void append(std::string& text, std::int64_t value) {
  char digits[24];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// Shortest form that reads back to the same double; nothing for NaN.
void append(std::string& text, double value) {
  if (std::isnan(value)) return;
  char digits[32];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

std::string regionsCsv(const std::vector<RegionRow>& rows) {
  std::string text;
  bool first = true;
  for (const char* column : regionColumns) {
    if (!first) text += ',';
    text += column;
    first = false;
  }
  text += '\n';
  for (const RegionRow& r : rows) {
    append(text, std::int64_t{r.label});
    text += ',';
    append(text, r.pixels);
    for (const double value : {r.centroidX, r.centroidY}) {
      text += ',';
      append(text, value);
    }
    for (const std::int32_t value : {r.left, r.top, r.width, r.height}) {
      text += ',';
      append(text, std::int64_t{value});
    }
    for (const double value :
         {r.meanRed, r.meanGreen, r.meanBlue, r.meanL, r.meanA, r.meanB, r.covXX, r.covXY, r.covYY,
          r.covLL, r.covLA, r.covLB, r.covAA, r.covAB, r.covBB}) {
      text += ',';
      append(text, value);
    }
    text += '\n';
  }
  return text;
}

std::string adjacencyCsv(const std::vector<AdjacentPair>& pairs) {
  std::string text = "label_a,label_b,shared_edges\n";
  for (const AdjacentPair& p : pairs) {
    append(text, std::int64_t{p.labelA});
    text += ',';
    append(text, std::int64_t{p.labelB});
    text += ',';
    append(text, p.sharedEdges);
    text += '\n';
  }
  return text;
}

}  // namespace superpixels
