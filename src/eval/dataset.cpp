#include "dataset.hpp"

#include <algorithm>
#include <filesystem>
#include <set>

namespace superpixels::eval {

namespace fs = std::filesystem;

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isLabelFileName(const std::string& name) {
  return endsWith(name, ".txt") || endsWith(name, ".npy");
}

// Entry names of `folder`, sorted; false (and `errors` extended) when it cannot be listed.
bool listFolder(const fs::path& folder, std::vector<std::string>& names,
                std::vector<std::string>& errors) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  if (ec) {
    errors.push_back(folder.string() + ": cannot list (" + ec.message() + ")");
    return false;
  }
  std::sort(names.begin(), names.end());
  return true;
}

void walk(const fs::path& folder, const std::string& relative, std::set<fs::path>& onPath,
          std::vector<LabelFile>& found, std::vector<std::string>& errors) {
  std::error_code ec;
  const fs::path canonical = fs::canonical(folder, ec);
  if (ec) {
    errors.push_back(folder.string() + ": cannot open (" + ec.message() + ")");
    return;
  }
  if (!onPath.insert(canonical).second) return;  // a link loop
  std::vector<std::string> names;
  if (listFolder(folder, names, errors)) {
    for (const std::string& name : names) {
      const fs::path path = folder / name;
      const fs::file_status status = fs::status(path, ec);
      if (fs::is_directory(status)) {
        walk(path, relative + name + "/", onPath, found, errors);
      } else if (fs::is_regular_file(status) && isLabelFileName(name)) {
        const std::string stem = name.substr(0, name.size() - 4);
        found.push_back({path.string(), relative + stem, stem});
      }
    }
  }
  onPath.erase(canonical);
}

}  // namespace

std::vector<LabelFile> findLabelFiles(const std::string& root, std::vector<std::string>& errors) {
  std::vector<LabelFile> found;
  std::error_code ec;
  const fs::path rootPath(root);
  if (fs::is_regular_file(rootPath, ec)) {
    const std::string stem = rootPath.stem().string();
    found.push_back({root, stem, stem});
    return found;
  }
  std::set<fs::path> onPath;
  walk(rootPath, "", onPath, found, errors);
  return found;
}

std::map<std::string, std::vector<std::string>> findGroundTruths(const std::string& folder,
                                                                 std::vector<std::string>& errors) {
  std::vector<std::string> names;
  listFolder(folder, names, errors);
  std::map<std::string, std::vector<std::pair<long long, std::string>>> numbered;
  for (const std::string& name : names) {
    if (!endsWith(name, ".png") && !isLabelFileName(name)) continue;
    const std::string base = name.substr(0, name.size() - 4);
    const std::size_t dash = base.rfind('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == base.size() ||
        dash + 19 < base.size()) {
      continue;
    }
    const std::string k = base.substr(dash + 1);
    if (!std::all_of(k.begin(), k.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    numbered[base.substr(0, dash)].emplace_back(std::stoll(k), (fs::path(folder) / name).string());
  }
  std::map<std::string, std::vector<std::string>> byId;
  for (auto& [id, files] : numbered) {
    std::sort(files.begin(), files.end());
    for (auto& file : files) byId[id].push_back(std::move(file.second));
  }
  return byId;
}

std::optional<std::string> findPhoto(const std::string& folder, const std::string& id) {
  for (const char* suffix : {".jpg", ".jpeg", ".png", ".ppm", ".bmp", ".tif", ".tiff"}) {
    const fs::path path = fs::path(folder) / (id + suffix);
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) return path.string();
  }
  return std::nullopt;
}

}  // namespace superpixels::eval
