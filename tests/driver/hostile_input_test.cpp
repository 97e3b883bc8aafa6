// End-to-end tests of the tool on inputs it did not choose: damaged, foreign and oversized files,
// awkward but valid images, awkward names, deep trees, link loops and outputs that cannot be
// written. Every problem must give one "PATH: reason" line, and the run must go on.

#include <sys/resource.h>

#include <map>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "superpixels/io.hpp"
#include "support/files.hpp"
#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

using HostileInputTest = ToolTest;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string encoded(const std::string& extension, const cv::Mat& image) {
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(cv::imencode(extension, image, bytes)) << extension;
  return std::string(bytes.begin(), bytes.end());
}

// A 2 x 2 palette PNG: indices 0 1 / 2 0 into red, green, blue, stored in an uncompressed block.
std::string palettePng() {
  const std::string rows("\0\0\1\0\2\0", 6);  // per row a filter byte, then two indices
  std::uint32_t a = 1, b = 0;
  for (const char c : rows) {
    a = (a + static_cast<std::uint8_t>(c)) % 65521;
    b = (b + a) % 65521;
  }
  const std::string zlib =
      std::string("\x78\x01\x01\x06\x00\xf9\xff", 7) + rows + bigEndian32(b << 16 | a);
  return pngSignature + pngHeaderChunk(2, 2, 8, 3) +
         pngChunk("PLTE", std::string("\xff\0\0\0\xff\0\0\0\xff", 9)) + pngChunk("IDAT", zlib) +
         pngChunk("IEND", "");
}

// A 5 x 3 grey TIFF in one 16 x 16 tile, uncompressed: whole to the header check and to libtiff,
// yet OpenCV's decoder fails on it, and says so on standard error unless the tool keeps it quiet.
std::string tiledTiff() {
  const auto le = [](std::uint32_t value, int bytes) {
    std::string b;
    for (int i = 0; i < bytes; ++i) b += static_cast<char>(value >> (8 * i));
    return b;
  };
  const std::uint32_t dataAt = 8 + 2 + 10 * 12 + 4;
  std::string file = std::string("II*\0", 4) + le(8, 4) + le(10, 2);
  // Tag, type (3 SHORT, 4 LONG), value: size, 8 bits, uncompressed, grey, one sample, the tile.
  const std::uint32_t entries[][3] = {{256, 3, 5},      {257, 3, 3},  {258, 3, 8},  {259, 3, 1},
                                      {262, 3, 1},      {277, 3, 1},  {322, 3, 16}, {323, 3, 16},
                                      {324, 4, dataAt}, {325, 4, 256}};
  for (const auto& e : entries) file += le(e[0], 2) + le(e[1], 2) + le(1, 4) + le(e[2], 4);
  return file + le(0, 4) + std::string(256, '\x40');
}

// Largest resident set of any child process waited for so far, in bytes.
long peakChildMemory() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss * 1024L;
}

// Checks that stderr holds exactly one "PATH: ..." line per entry of `expected` (path -> a part of
// the reason), in any order, and nothing else.
void expectOneLineEach(const std::string& err, const std::map<std::string, std::string>& expected) {
  const std::vector<std::string> lines = linesOf(err);
  EXPECT_EQ(lines.size(), expected.size()) << err;
  for (const auto& [path, reason] : expected) {
    const auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.rfind(path + ": ", 0) == 0;
    });
    ASSERT_NE(line, lines.end()) << "no line for " << path << " in\n" << err;
    EXPECT_NE(line->find(reason), std::string::npos) << *line;
  }
}

TEST_F(HostileInputTest, DamagedForeignAndOversizedFilesGetOneLineEachAndTheRunGoesOn) {
  const cv::Mat photo = noiseImage(40, 30, 21);
  const std::string png = encoded(".png", photo), jpeg = encoded(".jpg", photo);
  // A restart marker amid the scan data; LZW codes overwritten amid the strip data.
  std::string strayRestart = jpeg, brokenLzw = encoded(".tif", photo);
  strayRestart.replace((jpeg.find("\xFF\xDA") + jpeg.size()) / 2, 2, "\xFF\xD3");
  brokenLzw.replace(20, 40, std::string(40, '\xFF'));
  image("a.png", noiseImage(16, 12, 22));
  image("z.jpg", noiseImage(16, 12, 23));
  const std::map<std::string, std::string> files = {
      {"empty.png", ""},
      {"text.png", "just some text\n"},
      {"words.bmp", "BMP in name only\n"},
      {"half.png", png.substr(0, png.size() / 2)},
      {"damaged.png", png.substr(0, 60) + "\x55" + png.substr(61)},
      {"header-only.jpg", jpeg.substr(0, 20)},
      {"truncated.jpg", jpeg.substr(0, jpeg.size() / 2)},
      {"huge.png", pngDeclaring(100000, 100000)},
      // Under the decoder's own limit: without the header check it would allocate 1.2 GB.
      {"large.png", pngDeclaring(20000, 20000)},
      {"restart.jpg", strayRestart},
      {"lzw.tif", brokenLzw},
      {"tiled.tif", tiledTiff()},
  };
  for (const auto& [name, bytes] : files) writeFile(in_ + "/" + name, bytes);
  const ToolRun result = runOn(in_);

  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out,
            imageLines(in_ + "/a.png", out_, "/a") + imageLines(in_ + "/z.jpg", out_, "/z"));
  expectOneLineEach(result.err,
                    {{in_ + "/empty.png", "empty file"},
                     {in_ + "/text.png", "not a PNG, JPEG, BMP, PNM, TIFF or WebP image"},
                     {in_ + "/words.bmp", "truncated BMP header"},
                     {in_ + "/half.png", "truncated PNG"},
                     {in_ + "/damaged.png", "bad CRC"},
                     {in_ + "/header-only.jpg", "truncated JPEG"},
                     {in_ + "/truncated.jpg", "truncated JPEG: no end of image"},
                     {in_ + "/huge.png", "100000 x 100000 pixels, more than the limit"},
                     {in_ + "/large.png", "20000 x 20000 pixels, more than the limit"},
                     {in_ + "/restart.jpg",
                      "damaged image data: Corrupt JPEG data: premature end of data segment"},
                     {in_ + "/lzw.tif", "damaged image data: "},
                     {in_ + "/tiled.tif", "cannot decode image"}});
  EXPECT_EQ(treeOf(out_), resultTree({}, {"a", "z"}));
  EXPECT_LT(peakChildMemory(), 600L << 20) << "refused before decoding";
}

TEST_F(HostileInputTest, PixelLimitIsAnOption) {
  image("small.png", noiseImage(10, 10, 24));
  image("big.png", noiseImage(11, 10, 25));
  const ToolRun result = run({"--max-pixels", "100", in_, out_, "6", "0.5"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, in_ + "/big.png: image is 11 x 10 pixels, more than the limit of 100\n");
  EXPECT_EQ(treeOf(out_), resultTree({}, {"small"}));
}

// Whatever the file's channels and depth, the tool segments what the decoder makes of it in three
// 8-bit channels.
TEST_F(HostileInputTest, AwkwardButValidImagesAreSegmentedLikeTheLibraryDoes) {
  const cv::Mat colour = noiseImage(20, 14, 26);
  cv::Mat grey, grey16, deep, alpha;
  cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
  grey.convertTo(grey16, CV_16UC1, 257.0);
  colour.convertTo(deep, CV_16UC3, 251.0);
  cv::cvtColor(colour, alpha, cv::COLOR_BGR2BGRA);
  image("grey.png", grey);
  image("grey16.png", grey16);
  image("deep16.png", deep);
  image("alpha.png", alpha);
  writeFile(in_ + "/palette.png", palettePng());
  image("one.png", noiseImage(1, 1, 27));
  image("row.bmp", noiseImage(9, 1, 28));
  image("column.ppm", noiseImage(1, 9, 29));
  image("wide.jpg", noiseImage(17, 1, 30));
  const ToolRun result = runOn(in_);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");

  for (const std::string name :
       {"alpha", "column", "deep16", "grey", "grey16", "one", "palette", "row", "wide"}) {
    SCOPED_TRACE(name);
    const fs::path input =
        *std::find_if(fs::directory_iterator(in_), fs::directory_iterator(),
                      [&](const fs::directory_entry& e) { return e.path().stem() == name; });
    const cv::Mat decoded = cv::imread(input.string(), cv::IMREAD_COLOR);
    ASSERT_FALSE(decoded.empty());
    const std::string expected = labelText(segment(decoded, Options{6, 0.5f}));
    const std::string labels = readFile(labelFile("/" + name));
    EXPECT_EQ(labels, expected) << firstDifference(expected, labels);
    EXPECT_EQ(cv::imread(partitionFile("/" + name)).size(), decoded.size());
  }
  const cv::Mat palette = cv::imread(in_ + "/palette.png", cv::IMREAD_COLOR);
  EXPECT_EQ(palette.at<cv::Vec3b>(1, 0), cv::Vec3b(255, 0, 0)) << "index 2 is blue";
}

TEST_F(HostileInputTest, AwkwardNamesAreMirroredByteForByte) {
  const std::vector<std::string> bases = {"/my photos/a b", "/line\nbreak", "/\xff\xfe not utf-8",
                                          "/caf\xe9/x", "/-n"};
  for (const std::string& base : bases) image(base + ".png", noiseImage(8, 6, 31));
  const ToolRun result = runOn(in_);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  std::vector<std::string> relative;
  for (const std::string& base : bases) relative.push_back(base.substr(1));
  EXPECT_EQ(treeOf(out_), resultTree({"caf\xe9", "my photos"}, relative));
}

TEST_F(HostileInputTest, DeepTreesAndLinkLoopsAreWalkedOnceEach) {
  std::string deep;
  for (int level = 0; level < 200; ++level) deep += "/d";
  image(deep + "/bottom.png", noiseImage(8, 6, 32));
  fs::create_directory_symlink("..", in_ + "/d/d/up");  // leads back to in/d
  fs::create_directory_symlink(in_, in_ + "/root");     // leads back to in
  const ToolRun result = runOn(in_);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, imageLines(in_ + deep + "/bottom.png", out_, deep + "/bottom"));
  EXPECT_EQ(linesOf(result.err),
            (std::vector<std::string>{
                in_ + "/d/d/up: warning: skipped, it leads back to a folder being walked",
                in_ + "/root: warning: skipped, it leads back to a folder being walked"}));
  EXPECT_TRUE(fs::is_regular_file(labelFile(deep + "/bottom")));
}

TEST_F(HostileInputTest, OutputThatCannotBeWrittenIsReportedPerFileAndTheRunGoesOn) {
  image("a/x.png", noiseImage(8, 6, 33));
  image("b/y.png", noiseImage(8, 6, 34));
  fs::create_directories(out_ + "/superpixels");
  writeFile(out_ + "/superpixels/a", "a file where a folder must be");
  ToolRun result = runOn(in_);
  EXPECT_EQ(result.exitCode, 1);
  expectOneLineEach(result.err, {{out_ + "/superpixels/a", "a file of that name exists"}});
  EXPECT_TRUE(fs::is_regular_file(labelFile("b/y")));
  EXPECT_FALSE(fs::exists(labelFile("a/x")));

  result = run({in_, out_ + "/superpixels/a/out", "6", "0.5"});  // a path component is a file
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_NE(result.err.find("Not a directory"), std::string::npos) << result.err;
}

// Links planted inside OUTPUT where the tool makes its folders are never followed: results land
// nowhere else, and clean-up removes nothing there, not even a stale file named like a temporary.
TEST_F(HostileInputTest, LinksWhereTheOutputFoldersGoFailTheirImagesAndTouchNothingElsewhere) {
  for (const char* name : {"a/x.png", "b/y.png", "c/z.png"}) image(name, noiseImage(8, 6, 35));
  const std::string elsewhere = temp_.str() + "/elsewhere";
  fs::create_directories(elsewhere);
  for (const char* name : {".data.tmp-ABC123", ".x_KVR.png.tmp-ABC123"}) {
    writeFile(elsewhere + "/" + name, "not the tool's");
    fs::last_write_time(elsewhere + "/" + name,
                        fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  const std::map<std::string, std::string> before = contentsOf(elsewhere);
  fs::create_directories(out_ + "/superpixels");
  fs::create_directories(out_ + "/partition_results");
  fs::create_directory_symlink(elsewhere, out_ + "/superpixels/a");
  fs::create_directory_symlink(elsewhere, out_ + "/partition_results/b");
  ToolRun result = runOn(in_);
  EXPECT_EQ(result.exitCode, 1);
  expectOneLineEach(result.err, {{out_ + "/superpixels/a", "a symbolic link of that name exists"},
                                 {out_ + "/partition_results/b", "a symbolic link"}});
  EXPECT_EQ(result.out, "unable to create superpixel folder\nunable to create partition folder\n" +
                            imageLines(in_ + "/c/z.png", out_, "/c/z"));
  EXPECT_EQ(contentsOf(elsewhere), before);

  // OUTPUT itself may be a link, named by the user; its sub-folders may not.
  fs::create_directory_symlink(out_, temp_.str() + "/named");
  fs::remove(out_ + "/superpixels/a");
  fs::remove(out_ + "/partition_results/b");
  EXPECT_EQ(run({in_, temp_.str() + "/named", "6", "0.5"}).exitCode, 0);
  fs::remove_all(out_ + "/superpixels");
  fs::create_directory_symlink(elsewhere, out_ + "/superpixels");
  result = runOn(in_);
  EXPECT_EQ(result.exitCode, 255);
  EXPECT_EQ(result.err,
            out_ + "/superpixels: cannot create folder: a symbolic link of that name exists\n");
  EXPECT_EQ(contentsOf(elsewhere), before);
}

// A full disk: a 64 KiB file system in a private mount namespace, its contents copied out after
// the run. Results that fit are whole, the others are reported one line each, no temporary stays.
TEST_F(HostileInputTest, FullDiskFailsTheFilesThatDoNotFitAndLeavesTheOthersWhole) {
  // Private mount namespaces need privileges, and a root that is a mount point (not a chroot).
  if (runShell("unshare -m true 2>/dev/null").exitCode != 0) {
    GTEST_SKIP() << "cannot make a private mount namespace here";
  }
  for (int i = 0; i < 6; ++i) image(std::to_string(i) + ".png", noiseImage(64, 64, 40 + i));
  const std::string saved = temp_.str() + "/saved";
  std::string script = "mount -t tmpfs -o size=64k tmpfs ";
  script += superpixels::testing::quoted(out_) + " 2>/dev/null || exit 99; ";
  script += toolCommand({in_, out_, "6", "0.5"}) + "; code=$?; cp -a ";
  script += superpixels::testing::quoted(out_) + " " + superpixels::testing::quoted(saved);
  script += "; exit $code";
  const ToolRun result =
      runShell("unshare -m sh -c " + superpixels::testing::quoted(script) + " 2>/dev/null");
  if (result.exitCode == 99 || result.exitCode == -1) {
    GTEST_SKIP() << "cannot mount a file system here";
  }
  EXPECT_EQ(result.exitCode, 1);
  int failed = 0;
  for (const std::string& line : linesOf(result.err)) {
    EXPECT_EQ(line.rfind(out_ + "/", 0), 0u) << line;
    EXPECT_NE(line.find("No space left on device"), std::string::npos) << line;
    ++failed;
  }
  EXPECT_GT(failed, 0);
  int whole = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(saved)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    ASSERT_NE(name[0], '.') << "temporary left behind: " << entry.path();
    if (entry.path().extension() == ".png") {
      EXPECT_EQ(cv::imread(entry.path().string()).size(), cv::Size(64, 64)) << entry.path();
    } else {
      EXPECT_EQ(linesOf(readFile(entry.path())).size(), 64u) << entry.path();
    }
    ++whole;
  }
  EXPECT_GT(whole, 0);
  EXPECT_EQ(whole + failed, 18);
}

}  // namespace
}  // namespace superpixels::testing
