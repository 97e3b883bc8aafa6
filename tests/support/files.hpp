#pragma once

// Test helpers for files: temporary folders, reading and writing whole files, trees, the data
// folders passed in by CMake, and readable differences between long texts.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

namespace superpixels::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  TempFolder() {
    std::random_device device;
    path_ = fs::temp_directory_path() /
            ("superpixels-test-" + std::to_string(::getpid()) + "-" + std::to_string(device()));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Every entry below `root`, relative, sorted, folders marked with a trailing "/".
inline std::vector<std::string> treeOf(const fs::path& root) {
  std::vector<std::string> entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    entries.push_back(entry.is_directory() ? relative + "/" : relative);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

inline fs::path testDataDir() { return SUPERPIXELS_TEST_DATA_DIR; }
inline fs::path sharedDir() { return SUPERPIXELS_SHARED_DIR; }
inline fs::path bsdsImagesDir() { return sharedDir() / "data" / "bsds500-val" / "images"; }

// Every file below `root` with its bytes ("<folder>" for folders), by relative path.
inline std::map<std::string, std::string> contentsOf(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    files[relative] = entry.is_regular_file() ? readFile(entry.path()) : "<folder>";
  }
  return files;
}

// First line where two texts differ, for readable failures of long files.
inline std::string firstDifference(const std::string& expected, const std::string& actual) {
  std::istringstream a(expected), b(actual);
  std::string lineA, lineB;
  for (int line = 1;; ++line) {
    const bool moreA = static_cast<bool>(std::getline(a, lineA));
    const bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) return "texts are equal";
    if (lineA != lineB || moreA != moreB) {
      return "line " + std::to_string(line) + ": expected \"" + lineA.substr(0, 120) + "\" got \"" +
             lineB.substr(0, 120) + "\"";
    }
  }
}

}  // namespace superpixels::testing
