// A long run: 5,000 small images in nested folders. Memory must stay flat and no descriptor may
// leak: the tool runs with a limit of 16 open descriptors, so a leak of one per image fails it.

#include <sys/resource.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iostream>

#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

using LongRunTest = ToolTest;

// What /proc tells about a running process.
struct Sample {
  int imagesDone = 0;
  long residentKiB = 0;
  int openFiles = 0;
};

Sample sample(pid_t pid) {
  Sample s;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) s.residentKiB = std::stol(line.substr(6));
  }
  std::error_code error;
  for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
       !error && it != end; it.increment(error)) {
    ++s.openFiles;
  }
  return s;
}

TEST_F(LongRunTest, FiveThousandImagesInFlatMemoryWithoutLeakingDescriptors) {
  constexpr int images = 5000;
  std::vector<std::string> folders, bases;
  for (int i = 0; i < images; ++i) {
    // Built by appending: gcc 12 warns (-Wrestrict) on some chains of + here, wrongly.
    std::string top = "a";
    top += std::to_string(i / 1000);
    std::string folder = top + "/b";
    folder += std::to_string(i / 100 % 10);
    if (i % 100 == 0) {
      if (i % 1000 == 0) folders.push_back(top);
      folders.push_back(folder);
    }
    bases.push_back(folder + "/i" + std::to_string(i));
    image(bases.back() + ".png", noiseImage(12, 9, i));
  }

  // The tool's standard output is a pipe this test reads, and a sample is taken every 100 images
  // the tool reports; the tool cannot end before its last lines are read. So the samples span
  // the run however busy the machine is, instead of depending on a timer firing in time.
  int pipeEnds[2];
  ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
  constexpr int jobs = 2;
  const pid_t pid = startTool({"--jobs", std::to_string(jobs), in_, out_, "4", "0.5"},
                              "/dev/fd/" + std::to_string(pipeEnds[1]), 16);
  ::close(pipeEnds[1]);
  ASSERT_GT(pid, 0);
  std::vector<Sample> samples;
  long lines = 0;  // two per image: "reading ..." and "save ..."
  char buffer[4096];
  for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0) {
      ASSERT_EQ(errno, EINTR);
      continue;
    }
    const long before = lines / 200;
    lines += std::count(buffer, buffer + got, '\n');
    if (lines / 200 == before) continue;
    Sample s = sample(pid);
    s.imagesDone = static_cast<int>(lines / 2);
    if (s.residentKiB > 0) samples.push_back(s);  // none once the tool has ended
  }
  ::close(pipeEnds[0]);
  rusage usage{};
  int status = 0;
  ASSERT_EQ(::wait4(pid, &status, 0, &usage), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "a failure with 16 descriptors suggests a leak";
  EXPECT_EQ(treeOf(out_), resultTree(folders, bases));

  // From the first sample with 200 images done to the last one taken while images were still
  // being reported (not while the process ends).
  const auto first = std::find_if(samples.begin(), samples.end(),
                                  [](const Sample& s) { return s.imagesDone >= 200; });
  ASSERT_NE(first, samples.end());
  const auto end = std::find_if(samples.rbegin(), samples.rend(), [](const Sample& s) {
                     return s.imagesDone < images;
                   }).base();
  ASSERT_GT(end, first);
  const Sample& last = *(end - 1);
  int mostOpen = 0, fewestOpen = 1 << 20;
  for (auto s = first; s != end; ++s) {
    mostOpen = std::max(mostOpen, s->openFiles);
    fewestOpen = std::min(fewestOpen, s->openFiles);
  }
  std::cout << "resident memory " << first->residentKiB << " KiB after " << first->imagesDone
            << " images, " << last.residentKiB << " KiB after " << last.imagesDone << "; peak "
            << usage.ru_maxrss << " KiB; open descriptors " << first->openFiles << " then "
            << last.openFiles << ", at most " << mostOpen << "; " << samples.size() << " samples\n";
  EXPECT_GT(last.imagesDone, first->imagesDone + 2000) << "too few samples to judge";
  // At any moment each worker has at most its input or one result file open besides the fixed ones.
  EXPECT_LE(mostOpen, fewestOpen + jobs);
#if !defined(__SANITIZE_ADDRESS__)
  // Under AddressSanitizer freed memory sits in quarantine, so resident memory grows by design.
  // The list of images found grows by about 100 bytes per image: 0.5 MB here.
  EXPECT_LT(last.residentKiB, first->residentKiB + 4096);
#endif
}

}  // namespace
}  // namespace superpixels::testing
