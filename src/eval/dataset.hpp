#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace superpixels::eval {

// A superpixel label file found under the labels folder.
struct LabelFile {
  std::string path;  // as opened
  std::string name;  // path relative to the labels folder, without ".txt" or ".npy"
  std::string id;    // file name without its suffix: the ground truths and photo it goes with
};

// Every plain file named "*.txt" or "*.npy" under `root` (symbolic links followed, link loops
// skipped), sorted by name; `root` may also be one such file. Folders that cannot be listed are
// reported in `errors` as "PATH: reason" and skipped.
std::vector<LabelFile> findLabelFiles(const std::string& root, std::vector<std::string>& errors);

// The ground truths in `folder` (not recursive), files named "<id>-<k>.png", "<id>-<k>.txt" or
// "<id>-<k>.npy" with k decimal, grouped by id and ordered by k. Other files are ignored.
std::map<std::string, std::vector<std::string>> findGroundTruths(const std::string& folder,
                                                                 std::vector<std::string>& errors);

// The photo "<folder>/<id><suffix>" for the first suffix of .jpg, .jpeg, .png, .ppm, .bmp, .tif,
// .tiff that names a plain file.
std::optional<std::string> findPhoto(const std::string& folder, const std::string& id);

}  // namespace superpixels::eval
