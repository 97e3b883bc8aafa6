// A run killed with SIGKILL in the middle of a folder of images leaves only whole result files, and
// the next run completes the rest.

#include <signal.h>

#include <chrono>
#include <iostream>
#include <map>
#include <thread>

#include "output/atomic_file.hpp"
#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

using InterruptedRunTest = ToolTest;

constexpr int imageWidth = 32, imageHeight = 24;

int countOf(const std::string& text, const std::string& word) {
  int count = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    ++count;
  }
  return count;
}

// A result file is whole when it decodes to the image's size (PNG) or holds one CR LF ended line
// per row with a tab after every label (label file).
void expectWholeResult(const fs::path& path) {
  if (path.extension() == ".png") {
    EXPECT_EQ(cv::imread(path.string()).size(), cv::Size(imageWidth, imageHeight)) << path;
    return;
  }
  const std::string text = readFile(path);
  EXPECT_EQ(countOf(text, "\r\n"), imageHeight) << path;
  EXPECT_EQ(countOf(text, "\t"), imageWidth * imageHeight) << path;
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << path;
}

TEST_F(InterruptedRunTest, KilledRunLeavesOnlyWholeResultsAndTheNextRunCompletesThem) {
  std::vector<std::string> bases;
  for (int i = 0; i < 120; ++i) {
    const std::string base = std::string("f") + std::to_string(i % 3) + "/i" + std::to_string(i);
    image(base + ".png", noiseImage(imageWidth, imageHeight, 100 + i));
    bases.push_back(base);
  }
  const fs::path console = temp_ / "console";
  const pid_t pid = startTool({in_, out_, "10", "0.5"}, console);
  ASSERT_GT(pid, 0);
  // Kill once 25 images are done; the bound only guards against a hung tool.
  int done = 0;
  for (int wait = 0; wait < 60000 && done < 25; wait += 5) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    done = countOf(readFile(console), "save superpixel");
  }
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it could be killed";

  std::map<fs::path, std::string> present;
  int temporaries = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(out_)) {
    if (!entry.is_regular_file()) continue;
    if (isTemporaryName(entry.path().filename().string())) {
      ++temporaries;
      // As if the second run came later: fresh temporaries could be a live writer's.
      fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
      continue;
    }
    expectWholeResult(entry.path());
    present[entry.path()] = readFile(entry.path());
  }
  EXPECT_GE(present.size(), 3u * (done - 1)) << "the last line announced is maybe not written";
  EXPECT_LT(present.size(), 3u * bases.size()) << "the kill came after the last image";
  std::cout << "killed after " << done << " images: " << present.size() << " whole result files, "
            << temporaries << " temporaries\n";

  const ToolRun second = runOn(in_, "10", "0.5");
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(treeOf(out_), resultTree({"f0", "f1", "f2"}, bases)) << "no temporary left";
  // Results are deterministic, so a whole file from the killed run equals the new one.
  for (const auto& [path, bytes] : present) EXPECT_EQ(readFile(path), bytes) << path;
}

}  // namespace
}  // namespace superpixels::testing
