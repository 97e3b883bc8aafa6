#pragma once

#include <string>
#include <string_view>

namespace superpixels {

// Outcome of writing a result file.
struct WriteStatus {
  bool ok = false;
  std::string reason;  // why the file could not be written, when !ok
};

// Writes `bytes` to a temporary file next to `path` and renames it over `path`, so that a crash or
// kill leaves either the old file or the complete new one, never a truncated one. An existing
// file is replaced. On failure the temporary file is removed.
WriteStatus writeFileAtomically(const std::string& path, std::string_view bytes);

// True for the names writeFileAtomically gives its temporary files: "." + NAME + ".tmp-" + six
// letters or digits.
bool isTemporaryName(std::string_view name);

// Removes from `folder` (not its sub-folders) every temporary file that an interrupted writer left
// behind, and returns how many. Meant for output folders only, and unsafe while another process
// writes into the same folder; errors are ignored (a leftover is harmless: hidden, and never named
// like a result).
int removeLeftoverTemporaries(const std::string& folder);

}  // namespace superpixels
