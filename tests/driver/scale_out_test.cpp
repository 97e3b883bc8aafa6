// Splitting a dataset over runs and machines: --shard, and the cluster recipes in docs/cluster,
// which together must write exactly what one full run writes.

#include <set>

#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

const std::string recipes = SUPERPIXELS_TEST_SOURCE_DIR "/../docs/cluster";

TEST_F(SmallTreeTest, ShardsTogetherWriteExactlyWhatOneFullRunWrites) {
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
    for (const auto& [path, bytes] : contentsOf(output)) {
      if (bytes != "<folder>") {
        EXPECT_TRUE(seen.insert(path).second) << path << " in two shards";
      }
      united[path] = bytes;
    }
  }
  EXPECT_EQ(united, contentsOf(full));
}

// The tasks find the tool the way a checkout has it, with no SUPERPIXELS and none on PATH: built in
// build/ beside docs/. Each says which one it uses; a SUPERPIXELS naming nothing is an error.
TEST_F(SmallTreeTest, SlurmArrayTasksSharingOneOutputFolderAtOnceMakeTheFullRun) {
  makeTree();
  const std::string full = temp_.str() + "/full";
  fullRun(full);
  const fs::path checkout = temp_ / "checkout";
  fs::create_directories(checkout / "docs" / "cluster");
  fs::create_directories(checkout / "build");
  fs::copy_file(recipes + "/slurm-array.sbatch",
                checkout / "docs" / "cluster" / "slurm-array.sbatch");
  fs::create_symlink(SUPERPIXELS_EXECUTABLE, checkout / "build" / "superpixels");
  const std::string recipe =
      superpixels::testing::quoted((checkout / "docs" / "cluster" / "slurm-array.sbatch").string());
  // Four array tasks at the same time, as Slurm would start them, into one output folder.
  std::string command = "unset SUPERPIXELS; PATH=/usr/bin:/bin; export PATH; ";
  for (int task = 0; task < 4; ++task) {
    command += "SLURM_ARRAY_TASK_ID=" + std::to_string(task) +
               " SLURM_ARRAY_TASK_COUNT=4 SLURM_CPUS_PER_TASK=1 bash " + recipe + " " +
               superpixels::testing::quoted(in_) + " " + superpixels::testing::quoted(out_) +
               " 5 0.5 & ";
  }
  command += "wait";
  const ToolRun tasks = runShell("(" + command + ")");
  const std::string using_ =
      "slurm-array.sbatch: using " + checkout.string() + "/build/superpixels\n";
  EXPECT_EQ(tasks.err, using_ + using_ + using_ + using_);
  EXPECT_EQ(contentsOf(out_), contentsOf(full));

  const ToolRun missing = runShell("SUPERPIXELS=/nonexistent/superpixels bash " + recipe + " " +
                                   superpixels::testing::quoted(in_) + " " +
                                   superpixels::testing::quoted(out_) + " 5 0.5");
  EXPECT_EQ(missing.exitCode, 127);
  EXPECT_NE(missing.err.find("/nonexistent/superpixels: not found"), std::string::npos)
      << missing.err;
}

TEST_F(SmallTreeTest, GnuParallelOnThisMachineAndAcrossHostsMakesTheFullRun) {
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
  EXPECT_EQ(contentsOf(out_), contentsOf(full));

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
                                 " && HOME=" + superpixels::testing::quoted(temp_.str()) +
                                 " PARALLEL=\"--ssh " + fakeSsh.string() + "\" " + tool + "sh " +
                                 superpixels::testing::quoted(recipes + "/parallel-hosts.sh") +
                                 " 2/nodeA,2/nodeB 5 in hosts 5 0.5");
  EXPECT_EQ(hosts.exitCode, 0) << hosts.err;
  EXPECT_EQ(contentsOf(hostsOut), contentsOf(full));
}

}  // namespace
}  // namespace superpixels::testing
