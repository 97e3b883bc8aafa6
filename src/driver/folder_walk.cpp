#include "driver/folder_walk.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

#include "output/atomic_file.hpp"

namespace superpixels {

namespace {

struct FileId {
  dev_t device;
  ino_t inode;
  bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
};

struct Walk {
  const std::string& superpixelFolder;
  const std::string& partitionFolder;
  bool hasExcluded = false;
  FileId excluded{};
  std::vector<ImageEntry>& images;
  WalkReport& report;
  std::vector<FileId> path;  // directories on the current walk path

  void error(const std::string& what, const std::string& reason) {
    report.err << what << ": " << reason << std::endl;
    ++report.errors;
  }

  // Lists the names of `folder` except "." and "..", sorted; false when it cannot be listed.
  bool list(const std::string& folder, std::vector<std::string>& names) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
      error(folder, std::string("cannot list folder: ") + std::strerror(errno));
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
      error(folder, std::string("cannot list folder: ") + std::strerror(readError));
      return false;
    }
    std::sort(names.begin(), names.end());
    return true;
  }

  // Walks the directory `fullPath`, whose identity is `id`.
  void folder(const std::string& fullPath, const std::string& relativePath, FileId id) {
    std::vector<std::string> names;
    if (!list(fullPath, names)) return;  // closed before descending: depth never costs handles
    path.push_back(id);
    for (const std::string& name : names) {
      const std::string childFull = fullPath + "/" + name;
      const std::string childRelative = relativePath + "/" + name;
      struct stat info;
      if (::stat(childFull.c_str(), &info) != 0) {
        // A dangling link or an entry that vanished: only worth a word if it looked like an image.
        if (isImagePath(childRelative)) {
          error(childFull, std::string("cannot read: ") + std::strerror(errno));
        }
        continue;
      }
      if (S_ISDIR(info.st_mode)) {
        const FileId childId{info.st_dev, info.st_ino};
        if (hasExcluded && childId == excluded) continue;
        if (std::find(path.begin(), path.end(), childId) != path.end()) {
          report.err << childFull << ": warning: skipped, it leads back to a folder being walked"
                     << std::endl;
          continue;
        }
        if (!mirror(childRelative)) continue;
        folder(childFull, childRelative, childId);
      } else if (S_ISREG(info.st_mode) && isImagePath(childRelative)) {
        images.push_back({childFull, childRelative});
      }
    }
    path.pop_back();
  }

  bool mirror(const std::string& relativePath) {
    std::string reason;
    const std::string superpixelMirror = superpixelFolder + relativePath;
    if (!createFolder(superpixelMirror, &reason)) {
      report.out << "unable to create superpixel folder" << std::endl;
      error(superpixelMirror, "cannot create folder: " + reason);
      return false;
    }
    const std::string partitionMirror = partitionFolder + relativePath;
    if (!createFolder(partitionMirror, &reason)) {
      report.out << "unable to create partition folder" << std::endl;
      error(partitionMirror, "cannot create folder: " + reason);
      return false;
    }
    removeLeftoverTemporaries(superpixelMirror);
    removeLeftoverTemporaries(partitionMirror);
    return true;
  }
};

}  // namespace

bool isImagePath(const std::string& path) {
  if (path.size() < 5) return false;
  const std::string suffix = path.substr(path.size() - 4);
  return suffix == ".png" || suffix == ".ppm" || suffix == ".bmp" || suffix == ".jpg";
}

bool createFolder(const std::string& path, std::string* reason) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  const int cause = errno;
  struct stat info;
  if (cause == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  if (reason != nullptr) {
    *reason = cause == EEXIST ? "a file of that name exists" : std::strerror(cause);
  }
  return false;
}

void walkInput(const std::string& inputFolder, const std::string& superpixelFolder,
               const std::string& partitionFolder, const std::string& excluded,
               std::vector<ImageEntry>& images, WalkReport& report) {
  Walk walk{superpixelFolder, partitionFolder, false, {}, images, report, {}};
  struct stat info;
  if (!excluded.empty() && ::stat(excluded.c_str(), &info) == 0) {
    walk.hasExcluded = true;
    walk.excluded = {info.st_dev, info.st_ino};
  }
  if (::stat(inputFolder.c_str(), &info) != 0) {
    walk.error(inputFolder, std::string("cannot open input folder: ") + std::strerror(errno));
    return;
  }
  if (S_ISDIR(info.st_mode)) {
    walk.folder(inputFolder, "", {info.st_dev, info.st_ino});
  } else if (S_ISREG(info.st_mode) && isImagePath(inputFolder)) {
    images.push_back({inputFolder, ""});
  } else {
    walk.error(inputFolder, "cannot open input folder: not a folder or an image file");
  }
}

}  // namespace superpixels
