// --skip-existing: which results count as whole, and re-runs that redo only what is missing or
// broken.

#include "output/result_records.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "driver/arguments.hpp"

#include "driver/settings_record.hpp"
#include "output/atomic_file.hpp"
#include "output/testing_seam.hpp"
#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

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

// Every file kept must be the one this run would write: tied to this image's bytes, these settings
// (the tables' COUNT too) and the other files of its set, and whole. Each image of the tree gets
// one kind of damage; the rerun redoes exactly those, and reads no special file in a result's
// place (a FIFO would block it, /dev/zero never ends).
TEST_F(SmallTreeTest, SkipExistingKeepsOnlyTheFilesThisRunWouldWrite) {
  makeTree();
  const std::string other = temp_.str() + "/other";
  fs::create_directories(other);
  ASSERT_EQ(run({"--quiet", "--regions", in_, other, "6", "0.5"}).exitCode, 0);
  ASSERT_EQ(run({"--quiet", "--regions", in_, out_, "5", "0.5"}).exitCode, 0);
  const auto table = [&](const std::string& base, const std::string& kind) {
    return out_ + "/partition_results/" + base + "_" + kind + ".csv";
  };
  const auto otherCounts = [&](const std::string& path) {
    return readFile(other + path.substr(out_.size()));
  };
  const auto& b = bases_;
  const std::string swapped = readFile(superpixelFile(b[4]));
  std::string flipped = readFile(superpixelFile(b[3]));
  flipped[flipped.find("IDAT") + 40] ^= 0x10;
  const std::string cut = readFile(partitionFile(b[10]));
  const std::vector<std::pair<std::string, std::function<void()>>> damage = {
      {"tables of another COUNT",
       [&] { writeFile(table(b[0], "regions"), otherCounts(table(b[0], "regions"))); }},
      {"an empty table", [&] { writeFile(table(b[1], "adjacency"), ""); }},
      {"a table cut short",
       [&] {
         const std::string csv = readFile(table(b[2], "regions"));
         writeFile(table(b[2], "regions"), csv.substr(0, csv.size() - 10));
       }},
      {"a byte flipped in the overlay's pixel data",
       [&] { writeFile(superpixelFile(b[3]), flipped); }},
      {"the overlay and the partition swapped",
       [&] {
         writeFile(superpixelFile(b[4]), readFile(partitionFile(b[4])));
         writeFile(partitionFile(b[4]), swapped);
       }},
      {"the photo replaced by another of another size",
       [&] { image(b[5] + ".png", noiseImage(20, 12, 99)); }},
      {"the results of another image copied over",
       [&] {
         for (const auto& [from, to] : {std::pair{superpixelFile(b[7]), superpixelFile(b[6])},
                                        std::pair{partitionFile(b[7]), partitionFile(b[6])},
                                        std::pair{labelFile(b[7]), labelFile(b[6])}}) {
           writeFile(to, readFile(from));
         }
       }},
      {"a FIFO as the overlay",
       [&] {
         fs::remove(superpixelFile(b[7]));
         ASSERT_EQ(::mkfifo(superpixelFile(b[7]).c_str(), 0600), 0);
       }},
      {"/dev/zero as the label file",
       [&] {
         fs::remove(labelFile(b[8]));
         fs::create_symlink("/dev/zero", labelFile(b[8]));
       }},
      {"the label file of another COUNT",
       [&] { writeFile(labelFile(b[9]), otherCounts(labelFile(b[9]))); }},
      {"the partition cut short",
       [&] { writeFile(partitionFile(b[10]), cut.substr(0, cut.size() - 20)); }},
  };
  std::vector<std::string> damaged;
  for (std::size_t i = 0; i < damage.size(); ++i) {
    SCOPED_TRACE(damage[i].first);
    damage[i].second();
    damaged.push_back(b[i]);
  }
  const std::string fresh = temp_.str() + "/fresh";
  fs::create_directories(fresh);
  ASSERT_EQ(run({"--quiet", "--regions", in_, fresh, "5", "0.5"}).exitCode, 0);

  const ToolRun rerun = run({"--skip-existing", "--regions", in_, out_, "5", "0.5"});
  EXPECT_EQ(rerun.exitCode, 0) << rerun.err;
  std::sort(damaged.begin(), damaged.end());  // walk order
  std::string expectedLines;
  for (const std::string& base : damaged) {
    expectedLines += imageLines(in_ + "/" + base + ".png", out_, "/" + base);
  }
  EXPECT_EQ(rerun.out, expectedLines);
  EXPECT_EQ(contentsOf(out_), contentsOf(fresh));
}

// A mask that is no regular file fails its image at once, instead of blocking the run (a FIFO) or
// filling its memory (/dev/zero).
TEST_F(ToolTest, AMaskThatIsNoRegularFileFailsItsImage) {
  image("a.png", noiseImage(24, 16, 3));
  image("b.png", noiseImage(24, 16, 4));
  const std::string masks = temp_.str() + "/masks";
  fs::create_directories(masks);
  ASSERT_EQ(::mkfifo((masks + "/a.png").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", masks + "/b.png");
  const ToolRun masked = run({"--masks", masks, in_, out_, "5", "0.5"});
  EXPECT_EQ(masked.exitCode, 1);
  EXPECT_EQ(masked.err,
            masks + "/a.png: not a regular file (a FIFO)\n" + masks +
                "/b.png: not a regular file (a character device)\n");
}

// Another run writing the same image at the same time (with another COUNT) replaces this run's
// label file after this run wrote it and before its PNGs land: the writer finds its set mixed and
// writes its files again. The other run's file lands from the rename hook, at that very point.
TEST_F(ToolTest, AWriterWhoseSetAnotherRunMixedWritesItsOwnAgain) {
  image("a.png", noiseImage(24, 16, 5));
  const std::string fresh = temp_.str() + "/fresh";
  fs::create_directories(fresh);
  ASSERT_EQ(run({"--quiet", in_, fresh, "5", "0.5"}).exitCode, 0);
  ASSERT_EQ(run({"--quiet", in_, out_, "6", "0.5"}).exitCode, 0);
  static std::string otherLabels, labelPath;
  static int landed;
  otherLabels = readFile(labelFile("a"));
  labelPath = labelFile("a");
  landed = 0;
  setBeforeRenameHookForTesting([](const std::string& temporary) {
    if (temporary.find("a_KVR.png") != std::string::npos && landed++ == 0) {
      writeFile(labelPath, otherLabels);
    }
  });
  std::ostringstream out, err;
  const int code =
      runCommandLine({"--jobs", "1", "--threads", "1", in_, out_, "5", "0.5"}, out, err);
  setBeforeRenameHookForTesting(nullptr);
  EXPECT_EQ(code, 0) << err.str();
  EXPECT_EQ(landed, 2) << "the overlay written twice";
  EXPECT_EQ(contentsOf(out_), contentsOf(fresh)) << "one set, this run's";
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
