// --skip-existing: which results count as whole, and re-runs that redo only what is missing or
// broken.

#include "driver/existing_results.hpp"
#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

TEST(ExistingResults, WholeOnlyWhenBothPngsEndAndAgreeWithTheLabelFile) {
  TempFolder folder;
  const std::string boundary = (folder / "a_KVR.png").string();
  const std::string partition = (folder / "a_partition.png").string();
  const std::string labels = (folder / "a.txt").string();
  ResultFiles files;
  files.boundaryImage = boundary;
  files.partitionImage = partition;
  files.labels = labels;
  const std::string png3x2 = pngDeclaring(3, 2);
  writeFile(boundary, png3x2);
  writeFile(partition, png3x2);
  writeFile(labels, "0\t0\t1\t\r\n0\t1\t1\t\r\n");
  EXPECT_TRUE(resultsComplete(files));

  writeFile(labels, "0\t0\t1\t\r\n0\t1\t1\t\r\n0\t1\t1\t\r\n");
  EXPECT_FALSE(resultsComplete(files)) << "a row too many";
  writeFile(labels, "0\t0\t1\t\r\n0\t1\t");
  EXPECT_FALSE(resultsComplete(files)) << "cut short";
  writeFile(labels, "0\t0\t\r\n0\t1\t\r\n");
  EXPECT_FALSE(resultsComplete(files)) << "a column too few";
  writeFile(labels, "0\t0\t1\t\r\n0\t1\t1\t\r\n");

  writeFile(partition, png3x2.substr(0, png3x2.size() - 1));
  EXPECT_FALSE(resultsComplete(files)) << "PNG cut short";
  writeFile(partition, pngDeclaring(2, 3));
  EXPECT_FALSE(resultsComplete(files)) << "PNGs of different sizes";
  fs::remove(partition);
  EXPECT_FALSE(resultsComplete(files)) << "a missing file";
}

TEST_F(SmallTreeTest, SkipExistingRedoesOnlyMissingOrBrokenResults) {
  makeTree();
  fullRun(out_);
  const std::map<std::string, std::string> complete = contentsOf(out_);

  fs::remove(labelFile("set1/img4"));
  const std::string overlay = readFile(superpixelFile("set2/img8"));
  writeFile(superpixelFile("set2/img8"), overlay.substr(0, overlay.size() / 2));
  const ToolRun rerun = run({"--skip-existing", in_, out_, "5", "0.5"});
  EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
  EXPECT_EQ(rerun.out, imageLines(in_ + "/set1/img4.png", out_, "/set1/img4") +
                           imageLines(in_ + "/set2/img8.png", out_, "/set2/img8"));
  EXPECT_EQ(contentsOf(out_), complete);

  const ToolRun nothingLeft = run({"--skip-existing", in_, out_, "5", "0.5"});
  EXPECT_EQ(nothingLeft.exitCode, 0);
  EXPECT_EQ(nothingLeft.out, "");
}

}  // namespace
}  // namespace superpixels::testing
