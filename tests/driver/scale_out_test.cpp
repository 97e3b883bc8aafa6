// Splitting a dataset over runs and machines (--shard and the cluster recipes in docs/cluster),
// re-runs that finish only what is missing (--skip-existing), and what the console shows
// (--progress, --quiet).

#include <set>

#include "driver/existing_results.hpp"
#include "driver/shard.hpp"
#include "test_support.hpp"

namespace superpixels::testing {
namespace {

const std::string recipes = SUPERPIXELS_TEST_SOURCE_DIR "/../docs/cluster";

TEST(Shard, ParsesOnlyIndexSlashCountWithIndexBelowCount) {
  const std::optional<Shard> shard = parseShard("3/8");
  ASSERT_TRUE(shard);
  EXPECT_EQ(shard->index, 3u);
  EXPECT_EQ(shard->count, 8u);
  for (const std::string bad : {"", "3", "8/8", "9/8", "0/0", "-1/4", "1/-4", " 1/4", "1/4x",
                                "1 /4", "a/4", "1/", "/4", "0/1000001", "1/2/3"}) {
    EXPECT_FALSE(parseShard(bad)) << bad;
  }
}

TEST(Shard, HashIsFnv1aAndEveryPathFallsInExactlyOneShard) {
  // Published FNV-1a 64-bit values: the hash must not depend on the platform or the build.
  EXPECT_EQ(stableHash(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(stableHash("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(stableHash("foobar"), 0x85944171f73967e8ull);

  constexpr std::uint32_t count = 7;
  std::vector<int> sizes(count, 0);
  for (int i = 0; i < 7000; ++i) {
    const std::string path = "/set" + std::to_string(i % 13) + "/img" + std::to_string(i) + ".jpg";
    int shards = 0;
    for (std::uint32_t index = 0; index < count; ++index) {
      if (inShard(path, {index, count})) {
        ++shards;
        ++sizes[index];
      }
    }
    ASSERT_EQ(shards, 1) << path;
  }
  for (const int size : sizes) EXPECT_NEAR(size, 1000, 150);
}

TEST(ExistingResults, WholeOnlyWhenBothPngsEndAndAgreeWithTheLabelFile) {
  TempFolder folder;
  const std::string boundary = (folder / "a_KVR.png").string();
  const std::string partition = (folder / "a_partition.png").string();
  const std::string labels = (folder / "a.txt").string();
  const std::string png3x2 = pngDeclaring(3, 2);
  writeFile(boundary, png3x2);
  writeFile(partition, png3x2);
  writeFile(labels, "0\t0\t1\t\r\n0\t1\t1\t\r\n");
  EXPECT_TRUE(resultsComplete(boundary, partition, labels));

  writeFile(labels, "0\t0\t1\t\r\n0\t1\t1\t\r\n0\t1\t1\t\r\n");
  EXPECT_FALSE(resultsComplete(boundary, partition, labels)) << "a row too many";
  writeFile(labels, "0\t0\t1\t\r\n0\t1\t");
  EXPECT_FALSE(resultsComplete(boundary, partition, labels)) << "cut short";
  writeFile(labels, "0\t0\t\r\n0\t1\t\r\n");
  EXPECT_FALSE(resultsComplete(boundary, partition, labels)) << "a column too few";
  writeFile(labels, "0\t0\t1\t\r\n0\t1\t1\t\r\n");

  writeFile(partition, png3x2.substr(0, png3x2.size() - 1));
  EXPECT_FALSE(resultsComplete(boundary, partition, labels)) << "PNG cut short";
  writeFile(partition, pngDeclaring(2, 3));
  EXPECT_FALSE(resultsComplete(boundary, partition, labels)) << "PNGs of different sizes";
  fs::remove(partition);
  EXPECT_FALSE(resultsComplete(boundary, partition, labels)) << "a missing file";
}

class ScaleOutTest : public ToolTest {
 protected:
  // A small tree: 12 images in three folders, one folder without images.
  void makeTree() {
    for (int i = 0; i < 12; ++i) {
      const std::string base = "set" + std::to_string(i % 3) + "/img" + std::to_string(i);
      image(base + ".png", noiseImage(24, 16, 40 + i));
      bases_.push_back(base);
    }
    fs::create_directories(in_ + "/empty");
    folders_ = {"empty", "set0", "set1", "set2"};
  }

  // A full run into `output`, which it creates.
  void fullRun(const std::string& output) {
    fs::create_directories(output);
    const ToolRun full = run({"--quiet", in_, output, "5", "0.5"});
    ASSERT_EQ(full.exitCode, 0) << full.err;
  }

  // Every file below `root` with its bytes.
  static std::map<std::string, std::string> contents(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
      const std::string relative = fs::relative(entry.path(), root).string();
      files[relative] = entry.is_regular_file() ? readFile(entry.path()) : "<folder>";
    }
    return files;
  }

  std::vector<std::string> bases_, folders_;
};

TEST_F(ScaleOutTest, ShardsTogetherWriteExactlyWhatOneFullRunWrites) {
  makeTree();
  const std::string full = temp_.str() + "/full";
  fullRun(full);

  std::map<std::string, std::string> united;
  std::set<std::string> seen;
  for (int index = 0; index < 3; ++index) {
    const std::string output = temp_.str() + "/shard" + std::to_string(index);
    fs::create_directories(output);
    const ToolRun part = run({"--shard", std::to_string(index) + "/3", in_, output, "5", "0.5"});
    ASSERT_EQ(part.exitCode, 0) << part.err;
    // Every shard mirrors every folder, whether or not it has images of it to segment.
    for (const std::string& folder : folders_) {
      EXPECT_TRUE(fs::is_directory(output + "/superpixels/" + folder)) << index << " " << folder;
      EXPECT_TRUE(fs::is_directory(output + "/partition_results/" + folder)) << index;
    }
    for (const auto& [path, bytes] : contents(output)) {
      if (bytes != "<folder>") {
        EXPECT_TRUE(seen.insert(path).second) << path << " in two shards";
      }
      united[path] = bytes;
    }
  }
  EXPECT_EQ(united, contents(full));
}

TEST_F(ScaleOutTest, SlurmArrayTasksSharingOneOutputFolderAtOnceMakeTheFullRun) {
  makeTree();
  const std::string full = temp_.str() + "/full";
  fullRun(full);
  // Four array tasks at the same time, as Slurm would start them, into one output folder.
  std::string command =
      "export SUPERPIXELS=" + superpixels::testing::quoted(SUPERPIXELS_EXECUTABLE) + "; ";
  for (int task = 0; task < 4; ++task) {
    command += "SLURM_ARRAY_TASK_ID=" + std::to_string(task) +
               " SLURM_ARRAY_TASK_COUNT=4 SLURM_CPUS_PER_TASK=1 bash " +
               superpixels::testing::quoted(recipes + "/slurm-array.sbatch") + " " +
               superpixels::testing::quoted(in_) + " " + superpixels::testing::quoted(out_) +
               " 5 0.5 & ";
  }
  command += "wait";
  const ToolRun tasks = runShell("(" + command + ")");
  EXPECT_EQ(tasks.err, "");
  EXPECT_EQ(contents(out_), contents(full));
}

TEST_F(ScaleOutTest, GnuParallelOnThisMachineAndAcrossHostsMakesTheFullRun) {
  if (std::system("command -v parallel >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "GNU parallel is not installed (Debian: parallel)";
  }
  makeTree();
  const std::string full = temp_.str() + "/full";
  fullRun(full);

  const std::string tool =
      "SUPERPIXELS=" + superpixels::testing::quoted(SUPERPIXELS_EXECUTABLE) + " ";
  const ToolRun local = runShell(
      tool + "sh " + superpixels::testing::quoted(recipes + "/parallel-local.sh") + " 3 " +
      superpixels::testing::quoted(in_) + " " + superpixels::testing::quoted(out_) + " 5 0.5");
  EXPECT_EQ(local.exitCode, 0) << local.err;
  EXPECT_EQ(contents(out_), contents(full));

  // The hosts are reached through a stand-in for ssh that runs the command line here, starting in
  // the home folder as a remote login shell would: what is tested is the recipe, not the network.
  // HOME is the test's own folder, so the result does not depend on where the suite runs.
  const fs::path fakeSsh = temp_ / "fake-ssh";
  writeFile(fakeSsh,
            "#!/bin/sh\nshift\n[ \"$1\" = \"--\" ] && shift\ncd \"$HOME\" || exit 255\n"
            "exec sh -c \"$*\"\n");
  fs::permissions(fakeSsh, fs::perms::owner_all);
  const std::string hostsOut = temp_.str() + "/hosts";
  fs::create_directories(hostsOut);
  const ToolRun hosts = runShell("cd " + superpixels::testing::quoted(temp_.str()) +
                                 " && HOME=" + superpixels::testing::quoted(temp_.str()) + " PARALLEL=\"--ssh " +
                                 fakeSsh.string() + "\" " + tool + "sh " +
                                 superpixels::testing::quoted(recipes + "/parallel-hosts.sh") +
                                 " 2/nodeA,2/nodeB 5 in hosts 5 0.5");
  EXPECT_EQ(hosts.exitCode, 0) << hosts.err;
  EXPECT_EQ(contents(hostsOut), contents(full));
}

TEST_F(ScaleOutTest, SkipExistingRedoesOnlyMissingOrBrokenResults) {
  makeTree();
  fullRun(out_);
  const std::map<std::string, std::string> complete = contents(out_);

  fs::remove(labelFile("set1/img4"));
  const std::string overlay = readFile(superpixelFile("set2/img8"));
  writeFile(superpixelFile("set2/img8"), overlay.substr(0, overlay.size() / 2));
  const ToolRun rerun = run({"--skip-existing", in_, out_, "5", "0.5"});
  EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
  EXPECT_EQ(rerun.out, imageLines(in_ + "/set1/img4.png", out_, "/set1/img4") +
                           imageLines(in_ + "/set2/img8.png", out_, "/set2/img8"));
  EXPECT_EQ(contents(out_), complete);

  const ToolRun nothingLeft = run({"--skip-existing", in_, out_, "5", "0.5"});
  EXPECT_EQ(nothingLeft.exitCode, 0);
  EXPECT_EQ(nothingLeft.out, "");
}

TEST_F(ScaleOutTest, ProgressLineOnlyWhenAskedOrOnATerminalAndQuietDropsImageLines) {
  makeTree();
  // Standard error is a file here: no progress line unless forced.
  const ToolRun plain = run({in_, out_, "5", "0.5"});
  EXPECT_EQ(plain.err, "");
  EXPECT_NE(plain.out.find("reading  "), std::string::npos);

  const ToolRun forced = run({"--progress", "--quiet", in_, out_, "5", "0.5"});
  EXPECT_EQ(forced.exitCode, 0);
  EXPECT_EQ(forced.out, "") << "--quiet keeps standard output empty";
  EXPECT_NE(forced.err.find("superpixels: 12/12 images"), std::string::npos) << forced.err;
  // The line is rewritten in place and erased at the end, so nothing is left on the terminal.
  EXPECT_EQ(forced.err.find('\n'), std::string::npos) << forced.err;
  EXPECT_EQ(forced.err.substr(forced.err.size() - 4), "\r\x1b[K");

  const ToolRun off = run({"--progress", "--no-progress", in_, out_, "5", "0.5"});
  EXPECT_EQ(off.err, "");
}

}  // namespace
}  // namespace superpixels::testing
