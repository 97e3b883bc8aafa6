// A run killed with SIGKILL in the middle of a folder of images leaves only whole result files, and
// the next run completes the rest; a run stopped by SIGINT or SIGTERM also removes its temporary
// files and ends by that signal.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <map>
#include <sstream>

#include "driver/arguments.hpp"
#include "output/atomic_file.hpp"
#include "output/testing_seam.hpp"
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

// The tool's code in a child process that stops on its `stopAt`-th result file with the file's
// temporary on disk, tells the parent so through a pipe and waits there until released, or for
// good: the parent then sends its signal at a known point of the run, without sleeping and hoping.
class GatedRun {
 public:
  GatedRun(const std::vector<std::string>& arguments, int stopAt, bool ignoreInterrupt) {
    if (::pipe(ready_) != 0 || ::pipe(release_) != 0) return;
    pid_ = ::fork();
    if (pid_ != 0) {
      ::close(ready_[1]);
      ::close(release_[0]);
      char c;
      reachedGate_ = ::read(ready_[0], &c, 1) == 1;
      return;
    }
    ::alarm(60);  // a run the signal did not stop ends by SIGALRM, not by hanging the test
    if (ignoreInterrupt) ::signal(SIGINT, SIG_IGN);
    child_ = this;
    stopAt_ = stopAt;
    setBeforeRenameHookForTesting(&atWrite);
    std::ostringstream out, err;
    ::_exit(runCommandLine(arguments, out, err));
  }
  ~GatedRun() {
    ::close(ready_[0]);
    ::close(release_[1]);
  }

  bool reachedGate() const { return reachedGate_; }
  pid_t pid() const { return pid_; }
  // Lets the waiting writer go on.
  void release() {
    const char c = 'x';
    ASSERT_EQ(::write(release_[1], &c, 1), 1);
  }
  // Waits for the child; its wait status.
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    return status;
  }

 private:
  static void atWrite(const std::string&) {
    if (++child_->written_ != child_->stopAt_) return;
    char c = 'x';
    if (::write(child_->ready_[1], &c, 1) != 1 || ::read(child_->release_[0], &c, 1) != 1) {
      ::pause();
    }
  }

  static inline GatedRun* child_ = nullptr;
  int ready_[2] = {-1, -1};
  int release_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool reachedGate_ = false;
  std::atomic<int> written_{0};  // result files of all writer threads
  int stopAt_ = 0;
};

// Every temporary file below `folder`.
std::vector<fs::path> temporariesIn(const fs::path& folder) {
  std::vector<fs::path> found;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (isTemporaryName(entry.path().filename().string())) found.push_back(entry.path());
  }
  return found;
}

TEST_F(InterruptedRunTest, KilledRunLeavesOnlyWholeResultsAndTheNextRunCompletesThem) {
  std::vector<std::string> bases;
  for (int i = 0; i < 120; ++i) {
    const std::string base = std::string("f") + std::to_string(i % 3) + "/i" + std::to_string(i);
    image(base + ".png", noiseImage(imageWidth, imageHeight, 100 + i));
    bases.push_back(base);
  }
  // The run stops on its 75th result file (25 images' worth), not yet renamed, and is killed
  // there, while the other workers are writing theirs. Waiting for that point instead of polling
  // the console: on a busy machine a poller could wake after the last image.
  constexpr int gate = 75;
  GatedRun gated({in_, out_, "10", "0.5"}, gate, false);
  ASSERT_TRUE(gated.reachedGate());
  ::kill(gated.pid(), SIGKILL);
  const int status = gated.wait();
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << status;

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
  EXPECT_GE(present.size(), gate - 1u) << "the files renamed before the gate";
  EXPECT_LT(present.size(), 3u * bases.size()) << "the gated file is never renamed";
  std::cout << "killed with " << present.size() << " whole result files, " << temporaries
            << " temporaries\n";

  const ToolRun second = runOn(in_, "10", "0.5");
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(treeOf(out_), resultTree({"f0", "f1", "f2"}, bases)) << "no temporary left";
  // Results are deterministic, so a whole file from the killed run equals the new one.
  for (const auto& [path, bytes] : present) EXPECT_EQ(readFile(path), bytes) << path;
}

class StoppedRunTest : public ToolTest, public ::testing::WithParamInterface<int> {};

TEST_P(StoppedRunTest, SignalRemovesTheTemporariesKeepsWholeResultsAndEndsTheRunBySignal) {
  const int signal = GetParam();
  std::vector<std::string> bases;
  for (int i = 0; i < 5; ++i) {
    const std::string base = std::string("i").append(std::to_string(i));
    image(base + ".png", noiseImage(imageWidth, imageHeight, 300 + i));
    bases.push_back(base);
  }
  const std::string fresh = temp_.str() + "/fresh";
  fs::create_directories(fresh);
  ASSERT_EQ(run({"--quiet", in_, fresh, "10", "0.5"}).exitCode, 0);

  // One image at a time: its label file, overlay and partition image. The fifth file is the second
  // image's overlay.
  GatedRun gated({"--jobs", "1", "--threads", "1", in_, out_, "10", "0.5"}, 5, false);
  ASSERT_TRUE(gated.reachedGate());
  ASSERT_EQ(temporariesIn(out_).size(), 1u) << "the overlay, not yet renamed";
  ASSERT_EQ(::kill(gated.pid(), signal), 0);
  const int status = gated.wait();
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << status;
  EXPECT_EQ(WTERMSIG(status), signal) << "a shell sees 128 + the signal";

  EXPECT_TRUE(temporariesIn(out_).empty());
  EXPECT_EQ(treeOf(out_), (std::vector<std::string>{
                              "partition_results/", "partition_results/i0.txt",
                              "partition_results/i0_partition.png", "partition_results/i1.txt",
                              "superpixels/", "superpixels/i0_KVR.png"}));
  for (const char* file : {"partition_results/i0.txt", "partition_results/i0_partition.png",
                           "superpixels/i0_KVR.png", "partition_results/i1.txt"}) {
    EXPECT_EQ(readFile(fs::path(out_) / file), readFile(fs::path(fresh) / file))
        << file << " is whole";
  }

  // The second image is incomplete, so it is made again, with the ones never started.
  const ToolRun rest = run({"--skip-existing", in_, out_, "10", "0.5"});
  EXPECT_EQ(rest.exitCode, 0) << rest.err;
  std::string lines;
  for (int i = 1; i < 5; ++i)
    lines += imageLines(in_ + "/i" + std::to_string(i) + ".png", out_, "/i" + std::to_string(i));
  EXPECT_EQ(rest.out, lines);
  EXPECT_EQ(contentsOf(out_), contentsOf(fresh));
}

INSTANTIATE_TEST_SUITE_P(InterruptAndTerminate, StoppedRunTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

// A job started with SIGINT ignored (in the background of a script, say) keeps ignoring it.
TEST_F(InterruptedRunTest, IgnoredInterruptStaysIgnored) {
  image("i0.png", noiseImage(12, 8, 400));
  image("i1.png", noiseImage(12, 8, 401));
  GatedRun gated({"--jobs", "1", "--threads", "1", in_, out_, "5", "0.5"}, 2, true);
  ASSERT_TRUE(gated.reachedGate());
  ASSERT_EQ(::kill(gated.pid(), SIGINT), 0);  // discarded as it is sent
  gated.release();
  const int status = gated.wait();
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(treeOf(out_), resultTree({}, {"i0", "i1"}));
}

}  // namespace
}  // namespace superpixels::testing
