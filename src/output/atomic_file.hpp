#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace superpixels {

// What tells a file apart from another put in its place under the same name (renamed over it):
// its device and inode, size and modification time. All 0 for no file.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedSeconds = 0;
  std::int64_t modifiedNanoseconds = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path` now (symbolic links followed), or all 0 when there is none.
FileIdentity identityOf(const std::string& path);

// Outcome of writing a result file.
struct WriteStatus {
  bool ok = false;
  std::string reason;  // why the file could not be written, when !ok
};

// Writes `bytes` to a temporary file next to `path` and renames it over `path`, so that a crash or
// kill leaves either the old file or the complete new one, never a truncated one. An existing
// file is replaced. On failure the temporary file is removed. The file gets the permissions
// 0666 less the process's umask. With `written`, it receives the identity of the file written
// (when it was), which it keeps until another file is renamed over it. Thread-safe.
WriteStatus writeFileAtomically(const std::string& path, std::string_view bytes,
                                FileIdentity* written = nullptr);

// For a process that is about to end (a run stopped by a signal): removes the temporary files of
// every write in progress and holds off every writer for good, so that no temporary file is
// created and no result renamed into place afterwards (writers wait until the process ends).
// Results already renamed into place are whole and stay. Call it once, then end the process.
void abandonWritesForExit();

// For tests: `hook` is called on the writing thread with the temporary file's path once its bytes
// are written and before it is renamed into place; null for none (the default).
void setBeforeRenameHookForTesting(void (*hook)(const std::string& temporary));

// True for the names writeFileAtomically gives its temporary files: "." + NAME + ".tmp-" + six
// letters or digits.
bool isTemporaryName(std::string_view name);

// A temporary file untouched for this long was left by a writer that died: a live writer touches
// its file with every write, and a whole result takes seconds at most.
inline constexpr std::chrono::seconds staleTemporaryAge{15 * 60};

// Removes from `folder` (not its sub-folders) every temporary file that an interrupted writer left
// behind for a file whose name ends in one of `suffixes` (".oak.txt.tmp-a1B2c3" for ".txt"), a
// plain file untouched for at least `minimumAge`, and returns how many. The suffixes keep other
// programs' temporaries that happen to share the pattern safe; the age keeps those of other runs
// writing into the same folder (shards of one dataset) safe. Meant for folders the caller made
// for its results only; errors are ignored (a leftover is harmless: hidden, and never named like a
// result).
int removeLeftoverTemporaries(const std::string& folder, std::span<const std::string_view> suffixes,
                              std::chrono::seconds minimumAge = staleTemporaryAge);

}  // namespace superpixels
