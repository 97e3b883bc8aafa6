// The tool's options for superpixels as data: --regions (the two CSV tables), --masks DIR (a mask
// per image) and --connectivity 4|8, end to end on the real executable.

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "superpixels/describe.hpp"
#include "superpixels/io.hpp"
#include "superpixels/superpixels.hpp"
#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

using DataOptionsTest = ToolTest;

TEST_F(DataOptionsTest, RegionsWritesBothTablesBesideTheLabelFile) {
  const cv::Mat a = noiseImage(30, 20, 11);
  image("sub/a.png", a);
  const ToolRun run = this->run({"--regions", in_, out_, "8", "0.5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, imageLines(in_ + "/sub/a.png", out_, "/sub/a")) << "no extra lines";
  const Result expected = segment(a, Options{8, 0.5f});
  EXPECT_EQ(readFile(out_ + "/partition_results/sub/a_regions.csv"),
            regionsCsv(describeRegions(expected.labels, 30, 20, a)));
  EXPECT_EQ(readFile(out_ + "/partition_results/sub/a_adjacency.csv"),
            adjacencyCsv(adjacency(expected.labels, 30, 20)));

  // Without the option, no tables.
  fs::remove_all(out_);
  fs::create_directories(out_);
  ASSERT_EQ(runOn(in_, "8").exitCode, 0);
  EXPECT_EQ(treeOf(out_), resultTree({"sub"}, {"sub/a"}));
}

TEST_F(DataOptionsTest, MasksFollowTheInputTreeAndImagesWithoutOneAreSegmentedWhole) {
  const cv::Mat a = noiseImage(30, 20, 12), b = noiseImage(24, 16, 13);
  image("sub/a.jpg", a);
  image("b.png", b);
  const std::string masks = temp_.str() + "/masks";
  fs::create_directories(masks + "/sub");
  // A 16-bit mask with small values: inside where any channel is not zero, whatever the depth.
  cv::Mat mask(20, 30, CV_16U, cv::Scalar(0));
  mask(cv::Rect(5, 3, 18, 12)).setTo(1);
  ASSERT_TRUE(cv::imwrite(masks + "/sub/a.png", mask));
  const ToolRun run = this->run({"--masks", masks, in_, out_, "6", "0.5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  cv::Mat inside(20, 30, CV_8U, cv::Scalar(0));
  inside(cv::Rect(5, 3, 18, 12)).setTo(1);
  const cv::Mat decoded = readImage(in_ + "/sub/a.jpg").bgr;  // JPEG: not quite `a`
  EXPECT_EQ(readFile(labelFile("sub/a")), labelText(segment(decoded, Options{6, 0.5f}, inside)));
  const std::string text = readFile(labelFile("sub/a"));
  EXPECT_EQ(text.substr(0, 6), "-1\t-1\t") << "outside the mask";
  const cv::Mat partition = cv::imread(partitionFile("sub/a"), cv::IMREAD_COLOR);
  EXPECT_EQ(partition.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(readFile(labelFile("b")), labelText(segment(b, Options{6, 0.5f}))) << "no mask";
}

// Masks kept beside the photos (--masks naming INPUT itself) are read as masks, never segmented as
// photos of their own (which replaced the photo's results).
TEST_F(DataOptionsTest, MasksBesideThePhotosAreNotSegmented) {
  const cv::Mat photo = noiseImage(30, 20, 20);
  image("sub/photo.tif", photo);
  cv::Mat mask(20, 30, CV_8U, cv::Scalar(0));
  mask(cv::Rect(4, 2, 20, 10)).setTo(255);
  image("sub/photo.png", mask);
  const ToolRun run = this->run({"--masks", in_, in_, out_, "6", "0.5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, imageLines(in_ + "/sub/photo.tif", out_, "/sub/photo"));
  EXPECT_EQ(readFile(labelFile("sub/photo")),
            labelText(segment(photo, Options{6, 0.5f}, mask != 0)));
}

// The record of --skip-existing tells the mask: results made with another mask, or without one,
// are made again; tables asked for and missing are too.
TEST_F(DataOptionsTest, SkipExistingRedoesImagesWhoseMaskOrTablesChanged) {
  image("a.png", noiseImage(30, 20, 18));
  image("b.png", noiseImage(30, 20, 19));
  const std::string masks = temp_.str() + "/masks";
  fs::create_directories(masks);
  cv::Mat mask(20, 30, CV_8U, cv::Scalar(0));
  mask(cv::Rect(0, 0, 20, 20)).setTo(255);
  ASSERT_TRUE(cv::imwrite(masks + "/a.png", mask));
  const std::vector<std::string> masked = {
      "--skip-existing", "--masks", masks, in_, out_, "6", "0.5"};
  ASSERT_EQ(run(masked).exitCode, 0);
  EXPECT_EQ(run(masked).out, "") << "nothing changed, nothing redone";

  mask(cv::Rect(0, 0, 25, 20)).setTo(255);
  ASSERT_TRUE(cv::imwrite(masks + "/a.png", mask));
  EXPECT_EQ(run(masked).out, imageLines(in_ + "/a.png", out_, "/a")) << "a's mask changed";
  EXPECT_EQ(run({"--skip-existing", in_, out_, "6", "0.5"}).out,
            imageLines(in_ + "/a.png", out_, "/a") + imageLines(in_ + "/b.png", out_, "/b"))
      << "no masks at all: both records differ (b had none, but --masks was given)";
  EXPECT_EQ(run({"--skip-existing", "--regions", in_, out_, "6", "0.5"}).out,
            imageLines(in_ + "/a.png", out_, "/a") + imageLines(in_ + "/b.png", out_, "/b"))
      << "the tables are missing";
  EXPECT_EQ(run({"--skip-existing", in_, out_, "6", "0.5"}).out, "") << "tables are extra";
}

TEST_F(DataOptionsTest, AMaskThatCannotBeUsedFailsItsImageOnly) {
  image("a.png", noiseImage(30, 20, 14));
  image("b.png", noiseImage(30, 20, 15));
  image("c.png", noiseImage(30, 20, 16));
  const std::string masks = temp_.str() + "/masks";
  fs::create_directories(masks);
  ASSERT_TRUE(cv::imwrite(masks + "/a.png", cv::Mat(19, 30, CV_8U, cv::Scalar(1))));
  writeFile(masks + "/b.png", "not a picture");
  const ToolRun run = this->run({"--masks", masks, in_, out_, "6", "0.5"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            masks + "/a.png: mask is 30 x 19 pixels, the image 30 x 20\n" + masks +
                "/b.png: cannot decode image: not a PNG, JPEG, BMP, PNM, TIFF or WebP image\n");
  EXPECT_EQ(run.out, imageLines(in_ + "/c.png", out_, "/c"));
  EXPECT_EQ(treeOf(out_), resultTree({}, {"c"})) << "no results for the two";
}

TEST_F(DataOptionsTest, ConnectivityFourAndItsBadValues) {
  const cv::Mat a = noiseImage(40, 30, 17);
  image("a.png", a);
  ASSERT_EQ(run({"--connectivity", "4", in_, out_, "20", "0.5"}).exitCode, 0);
  Options four{20, 0.5f};
  four.connectivity = 4;
  EXPECT_EQ(readFile(labelFile("a")), labelText(segment(a, four)));
  ASSERT_EQ(run({"--connectivity=8", in_, out_, "20", "0.5"}).exitCode, 0);
  EXPECT_EQ(readFile(labelFile("a")), labelText(segment(a, Options{20, 0.5f})));

  for (const char* bad : {"6", "", "four", "04"}) {
    const ToolRun refused = run({"--connectivity", bad, in_, out_, "20", "0.5"});
    EXPECT_EQ(refused.exitCode, 2) << bad;
    EXPECT_NE(refused.err.find("--connectivity"), std::string::npos) << refused.err;
  }
}

}  // namespace
}  // namespace superpixels::testing
