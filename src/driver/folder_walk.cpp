#include "folder_walk.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>

namespace superpixels {

namespace {

struct FileId {
  dev_t device;
  ino_t inode;
  bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
  bool operator<(const FileId& o) const {
    return device != o.device ? device < o.device : inode < o.inode;
  }
};

struct Walk {
  std::vector<FileId> excluded;
  std::vector<WalkEntry> entries;
  std::vector<FileId> path;  // folders on the current walk path
  // Every folder walked so far, with the path it was walked by: folders reached by several links
  // would otherwise be walked once per path, which grows exponentially with the depth of the tree.
  std::map<FileId, std::string> walked;

  void note(WalkEntry::Kind kind, const std::string& full, const std::string& relative,
            std::string reason = {}) {
    entries.push_back({kind, full, relative, {}, std::move(reason)});
  }

  void image(const std::string& full, const std::string& relative) {
    entries.push_back({WalkEntry::Kind::image,
                       full,
                       relative,
                       relative.substr(0, relative.size() - imageSuffixLength(relative)),
                       {}});
  }

  // Lists the names of `folder` except "." and "..", sorted; false when it cannot be listed.
  bool list(const std::string& folder, const std::string& relative,
            std::vector<std::string>& names) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
      note(WalkEntry::Kind::error, folder, relative,
           std::string("cannot list folder: ") + std::strerror(errno));
      return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) {
      note(WalkEntry::Kind::error, folder, relative,
           std::string("cannot list folder: ") + std::strerror(readError));
      return false;
    }
    std::sort(names.begin(), names.end());
    return true;
  }

  // Walks the folder `fullPath`, whose identity is `id`.
  void folder(const std::string& fullPath, const std::string& relativePath, FileId id) {
    std::vector<std::string> names;
    if (!list(fullPath, relativePath, names)) return;  // closed before descending
    path.push_back(id);
    for (const std::string& name : names) {
      const std::string childFull = fullPath + "/" + name;
      const std::string childRelative = relativePath + "/" + name;
      struct stat info;
      // A path the system cannot open is refused before asking it, with the system's own reason.
      const int cause = childFull.size() >= PATH_MAX            ? ENAMETOOLONG
                        : ::stat(childFull.c_str(), &info) == 0 ? 0
                                                                : errno;
      if (cause == EACCES && ::lstat(childFull.c_str(), &info) != 0 && errno == EACCES) {
        // The folder lists its names but may not be searched (read without execute permission):
        // nothing in it can be opened, which is one failure of the folder, not one per name.
        note(WalkEntry::Kind::error, fullPath, relativePath,
             std::string("cannot list folder: ") + std::strerror(EACCES));
        break;
      }
      if (cause != 0) {
        // A dangling link, or an entry that vanished, is only worth a word if it looked like an
        // image; anything else that cannot be opened (a name too long, a forbidden link target)
        // may hide images and is a failure.
        if (cause != ENOENT || isImagePath(childRelative)) {
          note(WalkEntry::Kind::error, childFull, childRelative,
               std::string("cannot read: ") + std::strerror(cause));
        }
        continue;
      }
      if (S_ISDIR(info.st_mode)) {
        const FileId childId{info.st_dev, info.st_ino};
        if (std::find(excluded.begin(), excluded.end(), childId) != excluded.end()) continue;
        if (std::find(path.begin(), path.end(), childId) != path.end()) {
          note(WalkEntry::Kind::warning, childFull, childRelative,
               "warning: skipped, it leads back to a folder being walked");
          continue;
        }
        if (const auto [first, isNew] = walked.try_emplace(childId, childFull); !isNew) {
          note(WalkEntry::Kind::warning, childFull, childRelative,
               "warning: skipped, the same folder as " + first->second + ", walked already");
          continue;
        }
        note(WalkEntry::Kind::folder, childFull, childRelative);
        folder(childFull, childRelative, childId);
      } else if (S_ISREG(info.st_mode) && isImagePath(childRelative)) {
        image(childFull, childRelative);
      } else if (S_ISREG(info.st_mode) && isOtherImageFormatPath(childRelative)) {
        note(WalkEntry::Kind::otherFormat, childFull, childRelative);
      } else if (!S_ISREG(info.st_mode) && isImagePath(childRelative)) {
        // Named like an image but a FIFO, a device or a socket: reading it would block the run or
        // never end, and leaving it out in silence would hide it.
        note(WalkEntry::Kind::error, childFull, childRelative, "not a regular file");
      }
    }
    path.pop_back();
  }
};

}  // namespace

namespace {

// `path` ends in `suffix`, letters compared without regard to case, with something before it.
bool endsWith(const std::string& path, std::string_view suffix) {
  if (path.size() <= suffix.size()) return false;
  const char* tail = path.data() + path.size() - suffix.size();
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char c = tail[i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i]) return false;
  }
  return true;
}

}  // namespace

std::size_t imageSuffixLength(const std::string& path) {
  static constexpr std::string_view suffixes[] = {".png",  ".ppm", ".bmp",  ".jpg",
                                                  ".jpeg", ".tif", ".tiff", ".webp"};
  for (const std::string_view suffix : suffixes) {
    if (endsWith(path, suffix)) return suffix.size();
  }
  return 0;
}

bool isOtherImageFormatPath(const std::string& path) {
  // Formats people keep photos in that the decoder does not read: GIF, HEIF and AVIF, JPEG XL and
  // JPEG 2000, Photoshop, SVG, and the raw files of cameras.
  static constexpr std::string_view suffixes[] = {
      ".gif", ".heic", ".heif", ".avif", ".jxl", ".jp2", ".j2k", ".psd", ".svg", ".dng", ".cr2",
      ".cr3", ".crw",  ".nef",  ".nrw",  ".arw", ".srf", ".sr2", ".orf", ".rw2", ".raf", ".pef",
      ".srw", ".raw",  ".rwl",  ".3fr",  ".erf", ".kdc", ".mrw", ".mos", ".iiq", ".x3f"};
  for (const std::string_view suffix : suffixes) {
    if (endsWith(path, suffix)) return true;
  }
  return false;
}

bool isImagePath(const std::string& path) { return imageSuffixLength(path) > 0; }

std::vector<WalkEntry> walkInput(const std::string& inputFolder,
                                 const std::vector<std::string>& excluded) {
  Walk walk;
  struct stat info;
  for (const std::string& folder : excluded) {
    if (!folder.empty() && ::stat(folder.c_str(), &info) == 0) {
      walk.excluded.push_back({info.st_dev, info.st_ino});
    }
  }
  if (::stat(inputFolder.c_str(), &info) != 0) {
    walk.note(WalkEntry::Kind::error, inputFolder, "",
              std::string("cannot open input folder: ") + std::strerror(errno));
  } else if (S_ISDIR(info.st_mode)) {
    walk.walked.try_emplace({info.st_dev, info.st_ino}, inputFolder);
    walk.folder(inputFolder, "", {info.st_dev, info.st_ino});
  } else if (S_ISREG(info.st_mode) && isImagePath(inputFolder)) {
    // Named as if found in its folder: "photos/oak.png" writes oak_KVR.png and its siblings.
    walk.image(inputFolder, std::string(1, '/').append(inputFolder, inputFolder.rfind('/') + 1));
  } else {
    walk.note(WalkEntry::Kind::error, inputFolder, "",
              "cannot open input folder: not a folder or an image file");
  }
  return std::move(walk.entries);
}

}  // namespace superpixels
