// End-to-end tests of the command-line tool: the real executable on temporary folder trees.

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "image/png_structure.hpp"
#include "superpixels/io.hpp"
#include "superpixels/superpixels.hpp"
#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

using CommandLineTest = ToolTest;

TEST_F(CommandLineTest, SegmentsEveryImageIntoMirroredFoldersWithTheToolsLines) {
  const cv::Mat a = noiseImage(24, 16, 1);
  image("a.png", a);
  image("d.jpg", noiseImage(20, 12, 2));
  image("sub/b.bmp", noiseImage(16, 16, 3));
  image("sub/deeper/c.ppm", noiseImage(12, 20, 4));
  writeFile(in_ + "/notes.txt", "not an image");
  const ToolRun result = runOn(in_);

  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, imageLines(in_ + "/a.png", out_, "/a") +
                            imageLines(in_ + "/d.jpg", out_, "/d") +
                            imageLines(in_ + "/sub/b.bmp", out_, "/sub/b") +
                            imageLines(in_ + "/sub/deeper/c.ppm", out_, "/sub/deeper/c"));
  EXPECT_EQ(treeOf(out_), resultTree({"sub", "sub/deeper"}, {"a", "d", "sub/b", "sub/deeper/c"}));

  // The files hold what the library computes for the decoded image.
  const Result expected = segment(a, Options{6, 0.5f});
  const std::string labels = readFile(labelFile("a"));
  EXPECT_EQ(labels, labelText(expected)) << firstDifference(labelText(expected), labels);
  const cv::Mat partition = cv::imread(partitionFile("a"), cv::IMREAD_COLOR);
  const cv::Mat overlay = cv::imread(superpixelFile("a"), cv::IMREAD_COLOR);
  ASSERT_FALSE(partition.empty());
  ASSERT_FALSE(overlay.empty());
  EXPECT_EQ(cv::norm(partition, partitionImage(expected), cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(overlay, boundaryImage(a, expected.labels), cv::NORM_INF), 0.0);
}

// Photos as cameras and other programs name them; results named after the stem.
TEST_F(CommandLineTest, SuffixesInAnyCaseAndTiffAndWebpAreSegmented) {
  const cv::Mat photo = noiseImage(20, 14, 30);
  const std::vector<std::string> names = {"A.PNG",    "IMG_0001.JPG", "photo.jpeg",
                                          "scan.tif", "scan2.TIFF",   "web.webp"};
  for (const std::string& name : names) image(name, photo);
  const ToolRun result = runOn(in_);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  std::string lines;
  for (const std::string& name : names) {
    lines += imageLines(in_ + "/" + name, out_, std::string("/").append(name, 0, name.find('.')));
  }
  EXPECT_EQ(result.out, lines);
  EXPECT_EQ(treeOf(out_), resultTree({}, {"A", "IMG_0001", "photo", "scan", "scan2", "web"}));
  // TIFF and WebP (lossless) hold the pixels exactly; the results are those of the pixels.
  const std::string expected = labelText(segment(photo, Options{6, 0.5f}));
  EXPECT_EQ(readFile(labelFile("scan")), expected);
  EXPECT_EQ(readFile(labelFile("web")), expected);
}

// Files in formats the tool does not read are counted, and one of them named, at the end.
TEST_F(CommandLineTest, ImagesInFormatsNotReadAreCountedInOneLineAtTheEnd) {
  image("a.png", noiseImage(12, 10, 31));
  fs::create_directories(in_ + "/b");
  fs::create_directories(in_ + "/c");
  writeFile(in_ + "/b/anim.gif", "GIF89a");
  writeFile(in_ + "/b/shot.HEIC", "heic");
  writeFile(in_ + "/c/raw.cr2", "raw");
  writeFile(in_ + "/broken.png", "not a png");
  const ToolRun result = runOn(in_);
  EXPECT_EQ(result.exitCode, 1) << "for broken.png only";
  EXPECT_EQ(result.out, imageLines(in_ + "/a.png", out_, "/a"));
  EXPECT_EQ(result.err,
            in_ + "/broken.png: cannot decode image: not a PNG, JPEG, BMP, PNM, TIFF " +
                "or WebP image\nsuperpixels: skipped 3 files in image formats it does " +
                "not read (such as GIF, HEIC, AVIF or camera raw), for example " + in_ +
                "/b/anim.gif\n");

  fs::remove(in_ + "/broken.png");
  fs::remove(in_ + "/b/shot.HEIC");
  fs::remove(in_ + "/c/raw.cr2");
  const ToolRun one = runOn(in_);
  EXPECT_EQ(one.exitCode, 0) << "the line does not change the exit code";
  EXPECT_EQ(one.err,
            "superpixels: skipped 1 file in image formats it does not read (such as GIF, "
            "HEIC, AVIF or camera raw), for example " +
                in_ + "/b/anim.gif\n");
}

// Single images run one after the other into one output folder each keep their results.
TEST_F(CommandLineTest, ImageFileAsInputKeepsItsName) {
  const cv::Mat oak = noiseImage(18, 14, 5);
  image("oak.png", oak);
  image("sub/elm.jpg", noiseImage(12, 10, 6));
  ToolRun result = runOn(in_ + "/oak.png");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, imageLines(in_ + "/oak.png", out_, "/oak"));
  result = runOn(in_ + "/sub/elm.jpg");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, imageLines(in_ + "/sub/elm.jpg", out_, "/elm"));
  EXPECT_EQ(treeOf(out_), resultTree({}, {"elm", "oak"}));
  EXPECT_EQ(readFile(labelFile("oak")), labelText(segment(oak, Options{6, 0.5f})));
}

// The manual shows the record of examples/chelsea.png at 200 and 0.5 as the tool writes it.
TEST_F(CommandLineTest, TheManualsSettingsRecordIsTheOneTheToolWrites) {
  const std::string page = readFile(SUPERPIXELS_TEST_SOURCE_DIR "/../docs/formats.md");
  const std::size_t section = page.find("## Settings record");
  ASSERT_NE(section, std::string::npos);
  const std::size_t begin = page.find("```\n", section) + 4;
  const std::string shown = page.substr(begin, page.find("```\n", begin) - begin);
  const ToolRun run = runOn(SUPERPIXELS_TEST_SOURCE_DIR "/../examples/chelsea.png", "200", "0.5");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const PngContents png = readPngContents(readFile(superpixelFile("chelsea")));
  ASSERT_EQ(png.texts.size(), 1u);
  EXPECT_EQ(png.texts[0].second, shown);
}

TEST_F(CommandLineTest, DamagedImagesAreReportedAndTheOthersStillProcessed) {
  image("a.png", noiseImage(16, 12, 6));
  writeFile(in_ + "/b.png", "\x89PNG\r\n\x1a\n but the rest is garbage");
  writeFile(in_ + "/c.bmp", "");
  image("d.jpg", noiseImage(16, 12, 7));
  const ToolRun result = runOn(in_);

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out,
            imageLines(in_ + "/a.png", out_, "/a") + imageLines(in_ + "/d.jpg", out_, "/d"));
  // One "PATH: reason" line per damaged file, in walk order. (The PNG decoder may add a line of
  // its own, which does not name the file.)
  std::vector<std::string> lines;
  std::istringstream err(result.err);
  for (std::string line; std::getline(err, line);) {
    if (line.find(in_) != std::string::npos) lines.push_back(line);
  }
  ASSERT_EQ(lines.size(), 2u) << result.err;
  EXPECT_EQ(lines[0].rfind(in_ + "/b.png: ", 0), 0u) << lines[0];
  EXPECT_GT(lines[0].size(), in_.size() + 8) << "a reason follows the path";
  EXPECT_EQ(lines[1].rfind(in_ + "/c.bmp: ", 0), 0u) << lines[1];
  EXPECT_EQ(treeOf(out_), resultTree({}, {"a", "d"}));
}

TEST_F(CommandLineTest, InputThatCannotBeWalkedIsOneLineAndCreatesNothing) {
  ToolRun result = runOn(in_ + "/missing");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, in_ + "/missing: cannot open input folder: No such file or directory\n");
  EXPECT_TRUE(fs::is_empty(out_));

  writeFile(in_ + "/notes.txt", "not an image");
  result = runOn(in_ + "/notes.txt");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            in_ + "/notes.txt: cannot open input folder: not a folder or an image file\n");
  EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(CommandLineTest, ResultFileThatCannotBeWrittenIsReportedAndFailsTheRun) {
  image("a.png", noiseImage(16, 12, 15));
  image("b.png", noiseImage(16, 12, 16));
  fs::create_directories(labelFile("a"));  // a folder where the label file should go
  const ToolRun result = runOn(in_);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err.rfind(out_ + "/partition_results//a.txt: ", 0), 0u) << result.err;
  EXPECT_TRUE(fs::exists(superpixelFile("a")));
  EXPECT_TRUE(fs::exists(partitionFile("a")));
  EXPECT_TRUE(fs::is_regular_file(labelFile("b")));
}

// The results of earlier runs are PNG images inside the input tree: never segmented again, also
// when OUTPUT is INPUT itself (which gave x_KVR_KVR_KVR.png after three runs).
TEST_F(CommandLineTest, OutputFolderInsideTheInputIsNeverWalked) {
  image("a.png", noiseImage(16, 12, 17));
  for (const std::string& output : {in_ + "/results", in_}) {
    SCOPED_TRACE(output);
    fs::create_directories(output);
    for (int round = 0; round < 3; ++round) {
      const ToolRun result = run({in_, output, "6", "0.5"});
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_EQ(result.out, imageLines(in_ + "/a.png", output, "/a"));
    }
    std::vector<std::string> tree = resultTree({}, {"a"});
    if (output == in_) {
      tree.push_back("a.png");
      std::sort(tree.begin(), tree.end());
    }
    EXPECT_EQ(treeOf(output), tree);
    fs::remove_all(in_ + "/results");
    fs::remove_all(in_ + "/superpixels");
    fs::remove_all(in_ + "/partition_results");
  }
  // An INPUT inside the results is refused whole.
  ASSERT_EQ(run({in_, out_, "6", "0.5"}).exitCode, 0);
  const ToolRun inside = run({out_ + "/superpixels", out_, "6", "0.5"});
  EXPECT_EQ(inside.exitCode, 1);
  EXPECT_EQ(inside.err, out_ + "/superpixels: cannot open input folder: it lies inside " + out_ +
                            "/superpixels, where results are written\n");
  EXPECT_EQ(treeOf(out_), resultTree({}, {"a"}));
}

// An unusable OUTPUT is one "PATH: reason" line on standard error and nothing else.
TEST_F(CommandLineTest, UnusableOutputIsOneLineAndExit255) {
  image("a.png", noiseImage(8, 8, 8));
  const std::string missing = temp_.str() + "/missing/out";
  ToolRun result = run({in_, missing, "6", "0.5"});
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, missing + ": cannot use output folder: No such file or directory\n");
  EXPECT_FALSE(fs::exists(temp_ / "missing"));

  writeFile(temp_ / "plain", "a plain file");
  result = run({in_, temp_.str() + "/plain", "6", "0.5"});
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, temp_.str() + "/plain: cannot use output folder: Not a directory\n");

  writeFile(out_ + "/partition_results", "a plain file");
  result = runOn(in_);
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            out_ + "/partition_results: cannot create folder: a file of that name exists\n");
  EXPECT_EQ(treeOf(out_), (std::vector<std::string>{"partition_results", "superpixels/"}));
}

TEST_F(CommandLineTest, BadArgumentsExitWithTwoBeforeAnyFolderIsMade) {
  image("a.png", noiseImage(8, 8, 9));
  struct Case {
    std::vector<std::string> arguments;
    const char* named;  // expected in the error
  };
  const Case cases[] = {
      {{}, "Usage:"},
      {{in_, out_, "6"}, "Usage:"},
      {{"--fast", in_, out_, "6", "0.5"}, "unknown option \"--fast\""},
      {{"-j", "2", in_, out_, "6", "0.5"}, "unknown option \"-j\""},
      {{in_, out_, "0", "0.5"}, "COUNT \"0\""},
      {{in_, out_, "abc", "0.5"}, "COUNT \"abc\""},
      {{in_, out_, "1e3", "0.5"}, "COUNT \"1e3\""},
      {{in_, out_, "-3", "0.5"}, "COUNT \"-3\""},
      {{in_, out_, "6", "-1"}, "WEIGHT \"-1\""},
      {{in_, out_, "6", "O.5"}, "WEIGHT \"O.5\""},
      {{in_, out_, "6", "inf"}, "WEIGHT \"inf\""},
      {{in_, out_, "6", "nan"}, "WEIGHT \"nan\""},
      {{in_, out_, "6", "1e50"}, "WEIGHT \"1e50\""},
      {{"--max-pixels", "1e6", in_, out_, "6", "0.5"}, "--max-pixels \"1e6\""},
      {{in_, out_, "6", "-0"}, "WEIGHT \"-0\" is negative"},
      {{"--threads", "4097", in_, out_, "6", "0.5"}, "--threads \"4097\""},
      // A masks folder that is missing or a file would leave every image unmasked.
      {{"--masks", in_ + "/none", in_, out_, "6", "0.5"}, "No such file or directory"},
      {{"--masks", in_ + "/a.png", in_, out_, "6", "0.5"}, "Not a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.arguments.size()) + " arguments, expecting " + c.named);
    const ToolRun result = run(c.arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("superpixels: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
    EXPECT_TRUE(fs::is_empty(out_));
  }
  // A bad value is one line, naming the argument as the user knows it.
  EXPECT_EQ(run({in_, out_, "200px", "0.5"}).err,
            "superpixels: COUNT \"200px\" is not a whole number\n");
}

TEST_F(CommandLineTest, HelpAndVersionGoToStandardOutput) {
  ToolRun result = run({"--help"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.rfind("Usage: superpixels", 0), 0u) << result.out;
  EXPECT_EQ(result.err, "");

  result = run({"--version"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "superpixels " + version() + "\n");
  EXPECT_EQ(result.err, "");
}

TEST_F(CommandLineTest, ResultsDoNotDependOnTheOtherImagesOfTheRun) {
  const cv::Mat m = noiseImage(30, 20, 10);
  image("alone/m.png", m);
  image("crowd/a.png", makeImage(40, 28, [](int x, int y) { return cv::Vec3b(6 * x, 9 * y, 50); }));
  image("crowd/b.png", noiseImage(26, 26, 11));
  image("crowd/m.png", m);
  image("crowd/z.png", noiseImage(22, 18, 12));
  const ToolRun result = runOn(in_, "8", "0.3");
  ASSERT_EQ(result.exitCode, 0) << result.err;

  for (const std::string suffix : {".txt", "_partition.png"}) {
    const std::string alone = readFile(out_ + "/partition_results/alone/m" + suffix);
    const std::string crowd = readFile(out_ + "/partition_results/crowd/m" + suffix);
    ASSERT_FALSE(alone.empty()) << suffix;
    EXPECT_EQ(alone, crowd) << suffix << ": " << firstDifference(alone, crowd);
  }
  EXPECT_EQ(readFile(superpixelFile("alone/m")), readFile(superpixelFile("crowd/m")));
}

TEST_F(CommandLineTest, SecondRunReplacesTheResults) {
  image("a.png", noiseImage(24, 18, 13));
  ASSERT_EQ(runOn(in_).exitCode, 0);
  const std::string first = readFile(labelFile("a"));

  const cv::Mat smaller = noiseImage(10, 5, 14);
  image("a.png", smaller);
  const ToolRun second = runOn(in_);
  ASSERT_EQ(second.exitCode, 0) << second.err;
  const std::string labels = readFile(labelFile("a"));
  EXPECT_NE(labels, first);
  EXPECT_EQ(labels, labelText(segment(smaller, Options{6, 0.5f})));
  EXPECT_EQ(cv::imread(superpixelFile("a"), cv::IMREAD_COLOR).size(), smaller.size());
  EXPECT_EQ(cv::imread(partitionFile("a"), cv::IMREAD_COLOR).size(), smaller.size());
  // No temporary files are left next to the results.
  EXPECT_EQ(treeOf(out_), resultTree({}, {"a"}));
}

}  // namespace
}  // namespace superpixels::testing
