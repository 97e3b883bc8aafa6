// Threads inside one image change nothing: every number of threads gives the same labels and
// colours, with and without a mask, with either connectivity, at counts from coarse to fine.

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <opencv2/imgproc.hpp>

#include "engine/pipeline.hpp"
#include "superpixels/io.hpp"
#include "superpixels/superpixels.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

void expectSameForEveryThreadCount(const cv::Mat& bgr, Options options,
                                   const cv::Mat& mask = cv::Mat()) {
  options.threads = 1;
  const Result one = segment(bgr, options, mask);
  for (const int threads : {2, 5}) {
    options.threads = threads;
    const Result many = segment(bgr, options, mask);
    ASSERT_EQ(many.labels, one.labels) << threads << " threads";
    ASSERT_EQ(many.regionCount, one.regionCount);
    for (std::size_t i = 0; i < one.colours.size(); ++i) {
      ASSERT_EQ(many.colours[i].red, one.colours[i].red);
      ASSERT_EQ(many.colours[i].blue, one.colours[i].blue);
    }
  }
}

TEST(Threads, PhotosGiveTheSameResultWithEveryNumberOfThreads) {
  std::vector<fs::path> photos;
  if (fs::is_directory(bsdsImagesDir())) {
    for (const auto& entry : fs::directory_iterator(bsdsImagesDir())) photos.push_back(entry);
    std::sort(photos.begin(), photos.end());
    if (photos.size() > 1) photos.resize(1);
  }
  photos.push_back(testDataDir() / "golden" / "chelsea-451x300-k200" / "input.png");
  for (const fs::path& photo : photos) {
    SCOPED_TRACE(photo.string());
    const cv::Mat bgr = readImage(photo.string()).bgr;
    ASSERT_FALSE(bgr.empty());
    for (const std::int32_t count : {20, 1000}) {
      SCOPED_TRACE(count);
      expectSameForEveryThreadCount(bgr, Options{count, 0.5f});
    }
    Options four{300, 1.0f};
    four.connectivity = 4;
    expectSameForEveryThreadCount(bgr, four);
    cv::Mat mask(bgr.size(), CV_8U, cv::Scalar(0));
    cv::circle(mask, {bgr.cols / 2, bgr.rows / 2}, bgr.rows / 3, cv::Scalar(1), cv::FILLED);
    cv::rectangle(mask, {0, 0}, {bgr.cols / 5, bgr.rows / 5}, cv::Scalar(1), cv::FILLED);
    expectSameForEveryThreadCount(bgr, Options{150, 0.5f}, mask);
  }
}

TEST(Threads, TinyAndOddShapes) {
  for (const cv::Size size :
       {cv::Size(1, 1), cv::Size(1, 200), cv::Size(300, 1), cv::Size(7, 33), cv::Size(130, 17)}) {
    SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
    expectSameForEveryThreadCount(noiseImage(size.width, size.height, 4), Options{12, 0.5f});
  }
}

TEST(Threads, ImagesSideBySideShareOnePool) {
  const cv::Mat a = noiseImage(160, 120, 1), b = noiseImage(120, 160, 2);
  Options options{80, 0.5f};
  options.threads = 1;
  const Result aAlone = segment(a, options), bAlone = segment(b, options);
  options.threads = 0;  // the pool's threads
  ThreadPool shared(3);
  ThreadPool moved = std::move(shared);
  Result aShared, bShared;
  std::thread other([&] { bShared = segment(b, options, moved); });
  aShared = segment(a, options, moved);
  other.join();
  EXPECT_EQ(aShared.labels, aAlone.labels);
  EXPECT_EQ(bShared.labels, bAlone.labels);
  EXPECT_THROW(ThreadPool(-1), std::invalid_argument);
}

int threadsOfThisProcess() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  }
  return -1;
}

// Calls without a pool share the process's, made once: they start no threads of their own, and a
// child forked after the pool was made (whose helpers stayed in the parent) still segments.
TEST(Threads, CallsWithoutAPoolShareOneMadeOnceAlsoAfterFork) {
  const cv::Mat image = noiseImage(150, 120, 5);
  Options options{30, 0.5f};
  options.threads = 1;
  const Result alone = segment(image, options);
  options.threads = 0;
  EXPECT_EQ(segment(image, options).labels, alone.labels);
  const int threads = threadsOfThisProcess();
  for (int call = 0; call < 20; ++call) segment(image, options);
  EXPECT_EQ(threadsOfThisProcess(), threads);

  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    const bool same = segment(image, options).labels == alone.labels;
    ::_exit(same && ThreadPool::shared().threads() == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A small image on the default threads stays on the calling thread: waking helpers would cost
// more than its parts gain, and a loop over many small images would pay it on every call.
TEST(Threads, SmallImagesOnTheDefaultStartNoThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, without a pool made before
  EXPECT_EXIT(
      {
        segment(noiseImage(64, 64, 5), Options{30, 0.5f});
        std::exit(threadsOfThisProcess() == 1 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A stop request ends the call with SegmentationStopped; a stop flag that stays false changes
// nothing.
TEST(Threads, StopRequestEndsTheCallAndAnUnsetOneChangesNothing) {
  const cv::Mat image = noiseImage(90, 70, 3);
  std::atomic<bool> stop{false};
  Options options;
  options.superpixelCount = 40;
  options.threads = 2;
  const Result plain = segment(image, options);
  options.stop = &stop;
  EXPECT_EQ(segment(image, options).labels, plain.labels);
  stop = true;
  EXPECT_THROW(segment(image, options), SegmentationStopped);
}

TEST(Threads, CountsOutsideZeroToTheCapAreRefused) {
  for (const int threads : {-1, maxThreads + 1}) {
    Options options;
    options.threads = threads;
    EXPECT_EQ(options.check().field, OptionField::threads);
    EXPECT_THROW(segment(noiseImage(8, 8), options), std::invalid_argument);
  }
}

}  // namespace
}  // namespace superpixels::testing
