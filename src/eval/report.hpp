#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "image_evaluation.hpp"

namespace superpixels::eval {

struct ImageRow {
  std::string name;
  ImageScores scores;
};

// The table: a header, one line per image when `perImage`, and the average over `images` (not
// empty), in aligned columns.
void printTable(std::ostream& out, const std::vector<ImageRow>& images, bool perImage);

// CSV (RFC 4180, LF line ends): a header, one row per image, and a last row named "average".
// A missing explained variation is written "n/a".
std::string csvText(const std::vector<ImageRow>& images);

}  // namespace superpixels::eval
