// --skip-existing: which results count as whole, and re-runs that redo only what is missing or
// broken.

#include "driver/existing_results.hpp"

#include <algorithm>

#include "driver/settings_record.hpp"
#include "output/label_file.hpp"
#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

// A PNG that declares a width x height image and records `record`, as a result PNG does.
std::string recordedPng(std::uint32_t width, std::uint32_t height, const std::string& record) {
  return pngSignature + pngHeaderChunk(width, height) +
         pngChunk("tEXt", std::string("superpixels") + '\0' + record) + pngChunk("IEND", "");
}

TEST(ExistingResults, WholeOnlyWhenBothPngsEndAgreeWithTheLabelFileAndRecordTheSettings) {
  TempFolder folder;
  const std::string boundary = (folder / "a_KVR.png").string();
  const std::string partition = (folder / "a_partition.png").string();
  const std::string labels = (folder / "a.txt").string();
  ResultFiles files;
  files.boundaryImage = boundary;
  files.partitionImage = partition;
  files.labels = labels;
  const std::string settings = "version=1.0.0\ncount=5\nweight=0.5\n";
  const std::string labelText = "0\t0\t1\t\r\n0\t1\t1\t\r\n";
  const std::string record = settings + "labels=" + labelChecksum(labelText) + "\n";
  const std::string png3x2 = recordedPng(3, 2, record);
  const auto reset = [&] {
    writeFile(boundary, png3x2);
    writeFile(partition, png3x2);
    writeFile(labels, labelText);
  };
  reset();
  EXPECT_TRUE(resultsComplete(files, settings));
  EXPECT_TRUE(resultsComplete(files, "version=1.0.0\ncount=5\nweight=0.5"));

  writeFile(labels, labelText + "0\t1\t1\t\r\n");
  EXPECT_FALSE(resultsComplete(files, settings)) << "a row too many";
  writeFile(labels, "0\t0\t1\t\r\n0\t1\t");
  EXPECT_FALSE(resultsComplete(files, settings)) << "cut short";
  writeFile(labels, "0\t0\t\r\n0\t1\t\r\n");
  EXPECT_FALSE(resultsComplete(files, settings)) << "a column too few";
  // Whole, but not the one written with the PNGs: left by a run with other settings that was
  // interrupted after writing the PNGs, say.
  writeFile(labels, "0\t1\t1\t\r\n0\t1\t1\t\r\n");
  EXPECT_FALSE(resultsComplete(files, settings)) << "another label file";
  reset();

  writeFile(partition, png3x2.substr(0, png3x2.size() - 1));
  EXPECT_FALSE(resultsComplete(files, settings)) << "PNG cut short";
  writeFile(partition, recordedPng(2, 3, record));
  EXPECT_FALSE(resultsComplete(files, settings)) << "PNGs of different sizes";
  writeFile(partition, pngDeclaring(3, 2));
  EXPECT_FALSE(resultsComplete(files, settings)) << "a PNG without record";
  writeFile(partition, recordedPng(3, 2, "version=1.0.0\ncount=6\nweight=0.5\nlabels=0\n"));
  EXPECT_FALSE(resultsComplete(files, settings)) << "the PNGs disagree";
  std::string damaged = png3x2;
  damaged[damaged.size() - 12 - 1] ^= 1;  // the text chunk's CRC, just before IEND
  writeFile(partition, damaged);
  EXPECT_FALSE(resultsComplete(files, settings)) << "a record whose CRC is wrong";
  fs::remove(partition);
  EXPECT_FALSE(resultsComplete(files, settings)) << "a missing file";
  reset();

  for (const std::string other :
       {"version=1.0.0\ncount=6\nweight=0.5\n", "version=1.0.0\ncount=5\nweight=0.51\n",
        "version=0.9.0\ncount=5\nweight=0.5\n", "version=1.0.0\n"}) {
    EXPECT_FALSE(resultsComplete(files, other)) << other;
  }
}

TEST(SettingsRecord, HoldsTheVersionAndTheValuesUsed) {
  RunOptions options;
  options.segmentation = Options{200, 0.1f};
  EXPECT_EQ(settingsRecord(options),
            "version=" + version() + "\ncount=200\nweight=0.1\nconnectivity=8\n");
  // The single-precision value, in the shortest text that reads back to it.
  options.segmentation = Options{7, static_cast<float>(1.0 / 3.0)};
  options.segmentation.connectivity = 4;
  EXPECT_EQ(settingsRecord(options),
            "version=" + version() + "\ncount=7\nweight=0.33333334\nconnectivity=4\n");
  // Settings that do not change the files are not recorded.
  RunOptions other = options;
  other.jobs = 3;
  other.maxPixels = 10;
  other.shard = Shard{1, 4};
  other.skipExisting = other.quiet = true;
  other.segmentation.threads = 1;
  other.writeRegions = true;  // the tables come beside the results, which they leave as they are
  EXPECT_EQ(settingsRecord(other), settingsRecord(options));
}

TEST_F(SmallTreeTest, SkipExistingRedoesOnlyMissingOrBrokenResults) {
  makeTree();
  fullRun(out_);
  const std::map<std::string, std::string> complete = contentsOf(out_);

  fs::remove(labelFile("set1/img4"));
  const std::string overlay = readFile(superpixelFile("set2/img8"));
  writeFile(superpixelFile("set2/img8"), overlay.substr(0, overlay.size() / 2));
  // ".5" is the weight of the first run.
  const ToolRun rerun = run({"--skip-existing", in_, out_, "5", ".5"});
  EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
  EXPECT_EQ(rerun.out, imageLines(in_ + "/set1/img4.png", out_, "/set1/img4") +
                           imageLines(in_ + "/set2/img8.png", out_, "/set2/img8"));
  EXPECT_EQ(contentsOf(out_), complete);

  const ToolRun nothingLeft = run({"--skip-existing", in_, out_, "5", "0.5"});
  EXPECT_EQ(nothingLeft.exitCode, 0);
  EXPECT_EQ(nothingLeft.out, "");
}

// Results of other settings, or of a build that recorded none, are made again; then they are the
// files a fresh run makes.
TEST_F(SmallTreeTest, SkipExistingRedoesResultsOfOtherSettings) {
  makeTree();
  const std::string fresh = temp_.str() + "/fresh";
  fullRun(fresh);
  const std::map<std::string, std::string> expected = contentsOf(fresh);
  ASSERT_EQ(run({"--quiet", in_, out_, "6", "0.5"}).exitCode, 0);

  ToolRun rerun = run({"--skip-existing", in_, out_, "5", "0.5"});
  EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
  EXPECT_EQ(std::count(rerun.out.begin(), rerun.out.end(), '\n'), 2 * 12) << "all redone";
  EXPECT_EQ(contentsOf(out_), expected);

  // As an older build wrote them: no record.
  for (const std::string& base : {bases_[0], bases_[5]}) {
    for (const std::string& path : {superpixelFile(base), partitionFile(base)}) {
      const std::string png = readFile(path);
      const std::size_t text = png.find("tEXtsuperpixels");
      ASSERT_NE(text, std::string::npos) << path;
      // The chunk: body length (4 bytes, big-endian; a record is short), "tEXt", body, CRC.
      const std::size_t length =
          static_cast<std::uint8_t>(png[text - 1]) + 256 * static_cast<std::uint8_t>(png[text - 2]);
      writeFile(path, png.substr(0, text - 4) + png.substr(text + 8 + length));
      ASSERT_EQ(cv::imread(path).size(), cv::Size(24, 16)) << "still a whole PNG";
    }
  }
  rerun = run({"--skip-existing", in_, out_, "5", "0.5"});
  EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
  EXPECT_EQ(rerun.out, imageLines(in_ + "/" + bases_[0] + ".png", out_, "/" + bases_[0]) +
                           imageLines(in_ + "/" + bases_[5] + ".png", out_, "/" + bases_[5]));
  EXPECT_EQ(contentsOf(out_), expected);
}

}  // namespace
}  // namespace superpixels::testing
