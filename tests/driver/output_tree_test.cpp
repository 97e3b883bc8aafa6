// The output tree: folders made one level at a time, and where an image's results go.

#include "driver/output_tree.hpp"
#include "support/files.hpp"

namespace superpixels::testing {
namespace {

TEST(OutputTree, JoinsSubFolderAndRelativeBaseWithOneSlash) {
  const OutputTree tree("out");
  const ResultFiles files = tree.resultFiles("/sub/oak");
  EXPECT_EQ(files.boundaryImage, "out/superpixels//sub/oak_KVR.png");
  EXPECT_EQ(files.partitionImage, "out/partition_results//sub/oak_partition.png");
  EXPECT_EQ(files.labels, "out/partition_results//sub/oak.txt");
}

TEST(CreateFolder, MakesOneLevelAndAcceptsAnExistingFolderOnly) {
  TempFolder temp;
  const std::string folder = temp.str() + "/made";
  std::string reason;
  EXPECT_TRUE(createFolder(folder, &reason));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(createFolder(folder, &reason)) << "an existing folder is success";
  EXPECT_TRUE(createFolder(folder + "//", &reason));

  writeFile(temp / "plain", "x");
  EXPECT_FALSE(createFolder(temp.str() + "/plain", &reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_TRUE(fs::is_regular_file(temp / "plain"));

  reason.clear();
  EXPECT_FALSE(createFolder(temp.str() + "/missing/child", &reason)) << "parents are not made";
  EXPECT_FALSE(reason.empty());
  EXPECT_FALSE(fs::exists(temp / "missing"));
  EXPECT_FALSE(createFolder(temp.str() + "/plain/child"));
}

}  // namespace
}  // namespace superpixels::testing
