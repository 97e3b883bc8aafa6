#include "busy_machine.hpp"

#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "report.hpp"
#include "superpixels/io.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels::bench {

namespace {

// Processes that keep one CPU each busy until this object ends, as other programs on a loaded
// machine do. They are forked before any timing and do nothing but spin, so they touch none of
// the parent's state.
class Hogs {
 public:
  explicit Hogs(int count) {
    for (int i = 0; i < count; ++i) {
      const pid_t child = ::fork();
      if (child < 0) throw std::runtime_error("cannot start a competing process");
      if (child == 0) {
        volatile unsigned long spin = 0;
        for (;;) spin = spin + 1;
      }
      children_.push_back(child);
    }
  }
  ~Hogs() {
    for (const pid_t child : children_) ::kill(child, SIGKILL);
    for (const pid_t child : children_) ::waitpid(child, nullptr, 0);
  }
  Hogs(const Hogs&) = delete;
  Hogs& operator=(const Hogs&) = delete;

 private:
  std::vector<pid_t> children_;
};

int cpusOfThisProcess() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

double secondsOf(const cv::Mat& image, const Options& options) {
  const auto start = std::chrono::steady_clock::now();
  (void)segment(image, options);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int measureBusyMachine(const BenchOptions& bench, std::ostream& out) {
  std::vector<cv::Mat> photos;
  for (const auto& photo : listPhotos(bench)) {
    ImageFile image = readImage(photo.string());
    if (!image.ok()) throw std::runtime_error(photo.string() + ": " + image.error);
    photos.push_back(std::move(image.bgr));
  }
  if (photos.empty()) throw std::runtime_error(bench.imagesFolder + ": no photos");
  const int cpus = cpusOfThisProcess();
  Options one;
  one.superpixelCount = bench.counts.front();
  one.weightFactor = bench.weight;
  one.threads = 1;
  Options byDefault = one;
  byDefault.threads = 0;
  out << "machine: " << machineDescription() << "; " << cpus << " CPUs for this process\n"
      << photos.size() << " photos from " << bench.imagesFolder << ", count " << one.superpixelCount
      << ", engine only (decoded images), " << bench.repeat
      << " rounds; a round segments every photo with the default threads and with one thread,\n"
      << "alternately (which goes first alternates too); ratio: speed of the default over speed "
         "of one thread\n";
  (void)secondsOf(photos.front(), byDefault);  // the default pool is made once, before timing

  struct Row {
    const char* machine;
    int hogs;
    double ratio;
    double oneSeconds;
    double defaultSeconds;
  };
  std::vector<Row> rows;
  for (const int hogs : {0, cpus}) {
    const Hogs competing(hogs);
    std::vector<double> ratios, oneTimes, defaultTimes;
    for (int round = 0; round < bench.repeat; ++round) {
      double oneTotal = 0.0, defaultTotal = 0.0;
      for (std::size_t p = 0; p < photos.size(); ++p) {
        double single = 0.0, automatic = 0.0;
        if ((round + p) % 2 == 0) {
          single = secondsOf(photos[p], one);
          automatic = secondsOf(photos[p], byDefault);
        } else {
          automatic = secondsOf(photos[p], byDefault);
          single = secondsOf(photos[p], one);
        }
        oneTotal += single;
        defaultTotal += automatic;
      }
      ratios.push_back(oneTotal / defaultTotal);
      oneTimes.push_back(oneTotal / static_cast<double>(photos.size()));
      defaultTimes.push_back(defaultTotal / static_cast<double>(photos.size()));
      out << (hogs == 0 ? "idle" : "busy") << " round " << round + 1 << ": one thread "
          << oneTimes.back() * 1000 << " ms, default " << defaultTimes.back() * 1000
          << " ms per photo, ratio " << ratios.back() << std::endl;
    }
    rows.push_back({hogs == 0 ? "idle" : "busy", hogs, median(ratios), median(oneTimes),
                    median(defaultTimes)});
  }
  out << "\n| machine | competing processes | one thread | default threads | default / one "
         "thread (speed) |\n|---|---:|---:|---:|---:|\n";
  for (const Row& row : rows) {
    out << "| " << row.machine << " | " << row.hogs << " | " << row.oneSeconds * 1000 << " ms | "
        << row.defaultSeconds * 1000 << " ms | **" << row.ratio << "** |\n";
  }
  out << "\nTimes: median over the rounds of the mean per photo; ratio: median over the rounds."
      << std::endl;
  return 0;
}

}  // namespace superpixels::bench
