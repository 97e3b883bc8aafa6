// Segmenting images side by side must not change anything the tool produces: the same files, the
// same console lines in the same order, the same exit code, and a damaged image stops nothing.

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include <opencv2/imgcodecs.hpp>

#include "driver/arguments.hpp"
#include "output/atomic_file.hpp"
#include "output/testing_seam.hpp"
#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

struct InProcessRun {
  int exitCode = 0;
  std::string out;
  std::string err;
  std::map<std::string, std::string> files;  // path relative to the output folder -> bytes
};

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

InProcessRun runTool(const fs::path& input, const fs::path& output, const std::string& jobs,
                     const std::string& threads = "1") {
  fs::create_directories(output);
  std::ostringstream out, err;
  InProcessRun run;
  run.exitCode = runCommandLine(
      {"--jobs", jobs, "--threads", threads, input.string(), output.string(), "30", "0.5"}, out,
      err);
  // The output folder's name differs between runs; everything else must not.
  run.out = replaceAll(out.str(), output.string(), "OUT");
  run.err = replaceAll(err.str(), output.string(), "OUT");
  for (const auto& entry : fs::recursive_directory_iterator(output)) {
    const std::string relative = fs::relative(entry.path(), output).string();
    run.files[relative] = entry.is_regular_file() ? readFile(entry.path()) : "<folder>";
  }
  return run;
}

TEST(Batch, JobsAndThreadsChangeNothingAndADamagedImageStopsNothing) {
  TempFolder temp;
  const fs::path input = temp / "input";
  fs::create_directories(input / "sub" / "deeper");
  ASSERT_TRUE(cv::imwrite((input / "a.png").string(), noiseImage(40, 30, 1)));
  ASSERT_TRUE(cv::imwrite((input / "b.bmp").string(), makeImage(50, 20, [](int x, int y) {
                            return cv::Vec3b(x * 5, y * 12, 100);
                          })));
  ASSERT_TRUE(cv::imwrite((input / "sub" / "c.ppm").string(), noiseImage(33, 41, 2)));
  writeFile(input / "sub" / "broken.png", "\x89PNG\r\n\x1a\nthis is not an image");
  ASSERT_TRUE(cv::imwrite((input / "sub" / "deeper" / "d.jpg").string(), noiseImage(64, 48, 3)));
  ASSERT_TRUE(cv::imwrite((input / "sub" / "deeper" / "e.png").string(), flatImage(20, 20)));
  writeFile(input / "sub" / "notes.txt", "not an image");

  const InProcessRun one = runTool(input, temp / "one", "1");
  EXPECT_EQ(one.exitCode, 1);
  EXPECT_NE(one.err.find("broken.png"), std::string::npos) << one.err;
  // Images side by side, threads inside images, both, and workers lending themselves.
  for (const auto& [jobs, threads] :
       {std::pair{"3", "1"}, std::pair{"1", "4"}, std::pair{"2", "3"}, std::pair{"4", "2"}}) {
    SCOPED_TRACE(std::string("--jobs ") + jobs + " --threads " + threads);
    const InProcessRun other =
        runTool(input, temp / (std::string("jobs") + jobs + "threads" + threads), jobs, threads);
    EXPECT_EQ(other.exitCode, one.exitCode);
    EXPECT_EQ(other.out, one.out);
    EXPECT_EQ(other.err, one.err);
    ASSERT_EQ(other.files.size(), one.files.size());
    for (const auto& [path, bytes] : one.files) {
      const auto found = other.files.find(path);
      ASSERT_NE(found, other.files.end()) << path << " missing";
      EXPECT_TRUE(found->second == bytes) << path << " differs";
    }
  }
  // The five good images were all written despite the damaged one, which left nothing.
  for (const char* name : {"a", "b", "sub/c", "sub/deeper/d", "sub/deeper/e"}) {
    EXPECT_EQ(one.files.count(std::string("partition_results/") + name + ".txt"), 1u) << name;
    EXPECT_EQ(one.files.count(std::string("superpixels/") + name + "_KVR.png"), 1u) << name;
  }
  EXPECT_EQ(one.files.count("partition_results/sub/broken.txt"), 0u);
  // Each image's two console lines stay together, in walk order.
  EXPECT_NE(one.out.find("reading  " + (input / "a.png").string() +
                         "...\nsave superpixel to OUT/superpixels//a_KVR.png\n"),
            std::string::npos)
      << one.out;
}

// "same.bmp", "same.jpg" and "same.png" all write same.txt and its pictures: the first in walk
// order is segmented, each other one is an error that names it, whatever the jobs. The first is the
// largest: side by side, the small ones would finish first.
TEST(Batch, ImagesSharingTheirResultsLeaveTheFirstOnesAndFailWhateverTheJobsOrShards) {
  TempFolder temp;
  const fs::path input = temp / "input";
  fs::create_directories(input);
  ASSERT_TRUE(cv::imwrite((input / "same.bmp").string(), noiseImage(400, 300, 4)));
  ASSERT_TRUE(cv::imwrite((input / "same.jpg").string(), noiseImage(300, 200, 5)));
  ASSERT_TRUE(cv::imwrite((input / "same.png").string(), noiseImage(12, 10, 6)));
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(cv::imwrite((input / ("other" + std::to_string(i) + ".png")).string(),
                            noiseImage(16, 12, 7 + i)));
  }
  const std::string first = (input / "same.bmp").string();
  const std::string expectedErr =
      (input / "same.jpg").string() + ": not segmented: its results would replace those of " +
      first + "\n" + (input / "same.png").string() +
      ": not segmented: its results would replace those of " + first + "\n";

  const InProcessRun one = runTool(input, temp / "one", "1");
  EXPECT_EQ(one.exitCode, 1);
  EXPECT_EQ(one.err, expectedErr);
  const std::string& labels = one.files.at("partition_results/same.txt");
  EXPECT_EQ(std::count(labels.begin(), labels.end(), '\n'), 300) << "the first image, same.bmp";
  const InProcessRun three = runTool(input, temp / "three", "3");
  EXPECT_EQ(three.out, one.out);
  EXPECT_EQ(three.err, one.err);
  EXPECT_TRUE(three.files == one.files);

  // The three are never split between shards: the errors come in the part that has them.
  std::string errors;
  for (const char* shard : {"0/2", "1/2"}) {
    std::ostringstream out, err;
    const fs::path output = temp / ("shard" + std::string(shard, 1));
    fs::create_directories(output);
    const int code =
        runCommandLine({"--shard", shard, input.string(), output.string(), "30", "0.5"}, out, err);
    EXPECT_EQ(code, err.str().empty() ? 0 : 1) << shard;
    EXPECT_TRUE(err.str().empty() || err.str() == expectedErr) << err.str();
    errors += err.str();
  }
  EXPECT_EQ(errors, expectedErr);
}

// A mirror folder that cannot be made costs its folder, and only that: the images elsewhere are
// segmented, and nothing inside is walked into or reported.
TEST(Batch, MirrorThatCannotBeCreatedSkipsOnlyThatFolder) {
  TempFolder temp;
  const fs::path input = temp / "input";
  for (const char* name : {"a/x.png", "a/inner/w.png", "b/y.png", "c/z.png", "top.png"}) {
    fs::create_directories((input / name).parent_path());
    ASSERT_TRUE(cv::imwrite((input / name).string(), noiseImage(12, 10, 3)));
  }
  const fs::path output = temp / "output";
  fs::create_directories(output / "superpixels");
  fs::create_directories(output / "partition_results");
  writeFile(output / "superpixels" / "a", "a plain file where the mirror folder should go");
  writeFile(output / "partition_results" / "b", "a plain file where the mirror folder should go");

  const InProcessRun run = runTool(input, output, "2");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out,
            "unable to create superpixel folder\nunable to create partition folder\n" +
                replaceAll(imageLines((input / "c/z.png").string(), output.string(), "/c/z") +
                               imageLines((input / "top.png").string(), output.string(), "/top"),
                           output.string(), "OUT"));
  EXPECT_EQ(run.err,
            "OUT/superpixels/a: cannot create folder: a file of that name exists\n"
            "OUT/partition_results/b: cannot create folder: a file of that name exists\n");
  EXPECT_EQ(run.files.count("superpixels/c/z_KVR.png"), 1u);
  EXPECT_EQ(run.files.count("superpixels/top_KVR.png"), 1u);
  EXPECT_EQ(run.files.count("partition_results/a"), 0u) << "the second mirror is not tried";
  EXPECT_EQ(run.files.count("superpixels/b"), 1u) << "the first mirror of b was made";
  EXPECT_EQ(run.files.count("superpixels/b/y_KVR.png"), 0u);
}

// Results and folders get what the umask allows, also when several writers create files at once.
TEST(Batch, PermissionsFollowTheUmaskUnderJobs) {
  TempFolder temp;
  const fs::path input = temp / "input";
  for (int i = 0; i < 64; ++i) {
    std::ostringstream name;
    name << "f" << i % 8 << "/i" << i << ".png";
    const fs::path image = input / name.str();
    fs::create_directories(image.parent_path());
    ASSERT_TRUE(cv::imwrite(image.string(), noiseImage(6, 5, i)));
  }
  for (const mode_t mask : {022, 027}) {
    std::ostringstream name, command;
    name << "out" << std::oct << mask;
    const fs::path output = temp / name.str();
    fs::create_directories(output);
    command << "umask " << std::oct << mask << " && " << quoted(SUPERPIXELS_EXECUTABLE)
            << " --jobs 4 --quiet " << quoted(input.string()) << " " << quoted(output.string())
            << " 4 0.5";
    ASSERT_EQ(std::system(command.str().c_str()), 0) << command.str();
    int files = 0, folders = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(output)) {
      struct stat info;
      ASSERT_EQ(::stat(entry.path().c_str(), &info), 0);
      const mode_t expected = (entry.is_directory() ? 0777u : 0666u) & ~mask;
      EXPECT_EQ(info.st_mode & 0777, expected)
          << entry.path() << " under umask 0" << std::oct << mask;
      ++(entry.is_directory() ? folders : files);
    }
    EXPECT_EQ(files, 3 * 64);
    EXPECT_EQ(folders, 2 + 2 * 8);
  }
}

// Whatever a worker's image throws, even what is no std::exception, fails that image alone: the
// run ends with exit 1 and the image's name, instead of taking the process down.
TEST(Batch, AnythingThrownFailsOnlyItsImage) {
  TempFolder temp;
  const fs::path input = temp / "input";
  fs::create_directories(input);
  for (const char* name : {"a.png", "victim.png", "c.png"}) {
    ASSERT_TRUE(cv::imwrite((input / name).string(), noiseImage(16, 12, 1)));
  }
  setBeforeRenameHookForTesting([](const std::string& temporary) {
    if (temporary.find("victim") != std::string::npos) throw 42;
  });
  const InProcessRun run = runTool(input, temp / "out", "2", "2");
  setBeforeRenameHookForTesting(nullptr);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, (input / "victim.png").string() + ": failed for an unknown reason\n");
  EXPECT_EQ(run.files.count("superpixels/a_KVR.png"), 1u);
  EXPECT_EQ(run.files.count("superpixels/c_KVR.png"), 1u);
}

TEST(Batch, JobsMustBeAPositiveNumber) {
  std::ostringstream out, err;
  EXPECT_EQ(runCommandLine({"--jobs", "0", "in", "out", "30", "0.5"}, out, err), 2);
  EXPECT_EQ(runCommandLine({"--jobs=x", "in", "out", "30", "0.5"}, out, err), 2);
  EXPECT_EQ(runCommandLine({"in", "out", "30", "0.5", "--jobs"}, out, err), 2);
  EXPECT_NE(err.str().find("--jobs"), std::string::npos);
}

}  // namespace
}  // namespace superpixels::testing
