#pragma once

#include <string_view>

#include "superpixels/io.hpp"

namespace superpixels {

// The record of the result PNG `png` (the whole file, as readResultRecord reads it): a record
// whose last lines are "file=" and a role ("overlay" or "partition"), then "pixels=" and the
// checksum of the file's own compressed pixel data, so that a file damaged, of another set's
// pixels or of the other role is told. Inflates nothing.
ResultRecord resultRecord(std::string_view png);

}  // namespace superpixels
