#pragma once

#include <chrono>
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

// A temporary file untouched for this long was left by a writer that died: a live writer touches
// its file with every write, and a whole result takes seconds at most.
inline constexpr std::chrono::seconds staleTemporaryAge{15 * 60};

// Removes from `folder` (not its sub-folders) every temporary file that an interrupted writer left
// behind, untouched for at least `minimumAge`, and returns how many. The age keeps the temporaries
// of other runs writing into the same folder (shards of one dataset) safe. Meant for output
// folders only; errors are ignored (a leftover is harmless: hidden, and never named like a
// result).
int removeLeftoverTemporaries(const std::string& folder,
                              std::chrono::seconds minimumAge = staleTemporaryAge);

}  // namespace superpixels
