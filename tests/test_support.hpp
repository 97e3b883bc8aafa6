#pragma once

// Helpers shared by the tests: temporary folders, tiny images, files, runs of the tool and golden
// cases.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "image/image_data.hpp"
#include "refine/boundaries.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/segmentation_state.hpp"
#include "regions/set_up.hpp"

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

// A BGR image of the given size filled by `colour(x, y)`.
template <typename F>
cv::Mat makeImage(int width, int height, F colour) {
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.at<cv::Vec3b>(y, x) = colour(x, y);
  }
  return image;
}

inline cv::Mat flatImage(int width, int height, cv::Vec3b colour = {90, 140, 200}) {
  return makeImage(width, height, [&](int, int) { return colour; });
}

// Pseudo-random colours, the same for the same seed.
inline cv::Mat noiseImage(int width, int height, unsigned seed = 7) {
  std::mt19937 generator(seed);
  return makeImage(width, height, [&](int, int) {
    return cv::Vec3b(generator() % 256, generator() % 256, generator() % 256);
  });
}

// Labels of the state renumbered by position in activeRegions (0 for slots not listed), as the
// label file numbers them.
inline std::vector<std::int32_t> compactLabels(const SegmentationState& state) {
  std::vector<std::int32_t> compact(state.labelMap.slotCount, 0);
  for (std::int32_t j = 0; j < state.regionCount; ++j) compact[state.activeRegions[j]] = j;
  std::vector<std::int32_t> labels;
  for (const std::int32_t slot : state.labelMap.labels) labels.push_back(compact[slot]);
  return labels;
}

// Checks that every live region's model counts exactly the pixels labelled with it, that no pixel
// carries the label of a region that is gone, and that regionCount is the number of live regions.
inline void expectConsistent(const SegmentationState& state) {
  const LabelMap& map = state.labelMap;
  std::vector<std::int64_t> pixels(map.slotCount, 0);
  for (const std::int32_t slot : map.labels) ++pixels[slot];
  std::int32_t live = 0;
  for (std::int32_t slot = 0; slot < map.slotCount; ++slot) {
    const double count = state.regionStats[slot].count;
    if (count > 0.0) ++live;
    EXPECT_EQ(static_cast<double>(pixels[slot]), count > 0.0 ? count : 0.0) << "region " << slot;
  }
  EXPECT_EQ(live, state.regionCount);
}

// Ascending indices of the pixels labelled `region`: the region's pixel set.
inline std::vector<std::int32_t> pixelsOf(const LabelMap& map, std::int32_t region) {
  std::vector<std::int32_t> pixels;
  for (std::size_t p = 0; p < map.labels.size(); ++p) {
    if (map.labels[p] == region) pixels.push_back(static_cast<std::int32_t>(p));
  }
  return pixels;
}

// Ascending indices of the pixels of `region` marked in the border bitmap.
inline std::vector<std::int32_t> boundaryPixelsOf(const SegmentationState& state,
                                                  std::int32_t region) {
  std::vector<std::int32_t> pixels;
  for (const std::int32_t p : pixelsOf(state.labelMap, region)) {
    if (isBoundary(state, p)) pixels.push_back(p);
  }
  return pixels;
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

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline std::string quoted(const std::string& text) {
  std::string q = "'";
  for (const char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The output tree of a run: the two sub-folders, the mirrors of `folders` and the three result
// files of every relative base in `bases`.
inline std::vector<std::string> resultTree(const std::vector<std::string>& folders,
                                           const std::vector<std::string>& bases) {
  std::vector<std::string> tree = {"partition_results/", "superpixels/"};
  for (const std::string& folder : folders) {
    tree.push_back("partition_results/" + folder + "/");
    tree.push_back("superpixels/" + folder + "/");
  }
  for (const std::string& base : bases) {
    tree.push_back("partition_results/" + base + ".txt");
    tree.push_back("partition_results/" + base + "_partition.png");
    tree.push_back("superpixels/" + base + "_KVR.png");
  }
  std::sort(tree.begin(), tree.end());
  return tree;
}

// The tool's two lines for an image: the input path, and the overlay path with the relative base
// ("/sub/name", or empty for an input that is an image file).
inline std::string imageLines(const std::string& path, const std::string& output,
                              const std::string& relativeBase) {
  return "reading  " + path + "...\nsave superpixel to " + output + "/superpixels/" + relativeBase +
         "_KVR.png\n";
}

// For end-to-end tests of the tool: an input tree under <temp>/in, an existing empty output folder
// <temp>/out; the tool's console streams are captured next to them.
class ToolTest : public ::testing::Test {
 protected:
  ToolTest() : in_(temp_.str() + "/in"), out_(temp_.str() + "/out") {
    fs::create_directories(in_);
    fs::create_directories(out_);
  }

  ToolRun run(const std::vector<std::string>& arguments) {
    return runShell(toolCommand(arguments));
  }

  // The tool's command line, quoted for the shell.
  static std::string toolCommand(const std::vector<std::string>& arguments) {
    std::string command = quoted(SUPERPIXELS_EXECUTABLE);
    for (const std::string& argument : arguments) command.append(" ").append(quoted(argument));
    return command;
  }

  // Runs a shell command that runs the tool; its exit code and console streams are the result.
  ToolRun runShell(std::string command) {
    const fs::path out = temp_ / "stdout", err = temp_ / "stderr";
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    ToolRun result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
  }

  ToolRun runOn(const std::string& input, const std::string& count = "6",
                const std::string& weight = "0.5") {
    return run({input, out_, count, weight});
  }

  void image(const std::string& relative, const cv::Mat& bgr) {
    const fs::path path = in_ + "/" + relative;
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(cv::imwrite(path.string(), bgr)) << path;
  }

  std::string superpixelFile(const std::string& base) const {
    return out_ + "/superpixels/" + base + "_KVR.png";
  }
  std::string partitionFile(const std::string& base) const {
    return out_ + "/partition_results/" + base + "_partition.png";
  }
  std::string labelFile(const std::string& base) const {
    return out_ + "/partition_results/" + base + ".txt";
  }

  TempFolder temp_;
  std::string in_, out_;
};

// Starts the tool in the background with standard output to `stdoutPath` and standard error to
// /dev/null; with `maxOpenFiles` > 0 it may hold no more descriptors than that. Returns its pid.
inline pid_t startTool(const std::vector<std::string>& arguments, const fs::path& stdoutPath,
                       rlim_t maxOpenFiles = 0) {
  std::vector<std::string> argv = {SUPERPIXELS_EXECUTABLE};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(out, 1);
    ::dup2(null, 2);
    ::close(out);
    ::close(null);
    if (maxOpenFiles > 0) {
      const rlimit limit{maxOpenFiles, maxOpenFiles};
      ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
  }
  return pid;
}

// A state whose regions are given pixel by pixel. The grid has step 1, so every pixel index is
// also a valid slot id, and `labels` may use any of them. Region statistics are pooled from the
// single-pixel models in ascending pixel order, as merging leaves them.
struct Labelled {
  ImageData image;
  SegmentationState state;

  Labelled(const cv::Mat& bgr, const std::vector<std::int32_t>& labels)
      : image(makeImageData(bgr)) {
    setUpSegmentation(state, image, image.width * image.height, 0.5f);
    EXPECT_EQ(state.blockWidth, 1);
    state.labelMap.labels = labels;
    for (RegionStats& stats : state.regionStats) stats = RegionStats{};
    for (std::int32_t p = 0; p < static_cast<std::int32_t>(labels.size()); ++p) {
      state.regionStats[labels[p]].absorb(state.pixelStats(p));
    }
    listActiveRegions(state);
  }
};

inline fs::path testDataDir() { return SUPERPIXELS_TEST_DATA_DIR; }
inline fs::path sharedDir() { return SUPERPIXELS_SHARED_DIR; }
inline fs::path bsdsImagesDir() { return sharedDir() / "data" / "bsds500-val" / "images"; }

// PNG building blocks: the signature, a chunk with its length and CRC, an IHDR chunk.
inline const std::string pngSignature("\x89PNG\r\n\x1a\n", 8);

inline std::string bigEndian32(std::uint32_t value) {
  return std::string{static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                     static_cast<char>(value >> 8), static_cast<char>(value)};
}

inline std::string pngChunk(const std::string& type, const std::string& body) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : type + body) {
    crc ^= static_cast<std::uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return bigEndian32(static_cast<std::uint32_t>(body.size())) + type + body + bigEndian32(~crc);
}

inline std::string pngHeaderChunk(std::uint32_t width, std::uint32_t height, int bitDepth = 8,
                                  int colourType = 2) {
  return pngChunk(
      "IHDR", bigEndian32(width) + bigEndian32(height) +
                  std::string{static_cast<char>(bitDepth), static_cast<char>(colourType), 0, 0, 0});
}

// A PNG file that declares a width x height RGB image and holds no pixel data: enough for a
// decoder to read the header and fail later.
inline std::string pngDeclaring(std::uint32_t width, std::uint32_t height) {
  return pngSignature + pngHeaderChunk(width, height) + pngChunk("IEND", "");
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
