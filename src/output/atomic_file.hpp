#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "superpixels/io.hpp"

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



// True for the names writeFileAtomically gives its temporary files: "." + NAME + ".tmp-" + six
// letters or digits.
bool isTemporaryName(std::string_view name);

}  // namespace superpixels
