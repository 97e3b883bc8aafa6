#include "driver/folder_walk.hpp"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace superpixels::testing {
namespace {


// An input tree under <temp>/in and the two output trees under <temp>/out.
class FolderWalkTest : public ::testing::Test {
 protected:
  FolderWalkTest()
      : input_(temp_.str() + "/in"),
        superpixels_(temp_.str() + "/out/superpixels"),
        partitions_(temp_.str() + "/out/partition_results") {
    fs::create_directories(input_);
    fs::create_directories(superpixels_);
    fs::create_directories(partitions_);
  }

  // Creates the folders on the way and an (undecodable: the walk does not read it) file.
  void file(const std::string& relative) {
    fs::create_directories(fs::path(input_ + "/" + relative).parent_path());
    writeFile(input_ + "/" + relative, "not decoded by the walk");
  }
  void folder(const std::string& relative) { fs::create_directories(input_ + "/" + relative); }

  void walk(const std::string& input, const std::string& excluded = {}) {
    images_.clear();
    out_.str({});
    err_.str({});
    WalkReport report{out_, err_};
    walkInput(input, superpixels_, partitions_, excluded, images_, report);
    errors_ = report.errors;
  }

  std::vector<std::string> relativePaths() const {
    std::vector<std::string> paths;
    for (const ImageEntry& image : images_) {
      EXPECT_EQ(image.fullPath, input_ + image.relativePath);
      paths.push_back(image.relativePath);
    }
    return paths;
  }

  TempFolder temp_;
  std::string input_, superpixels_, partitions_;
  std::vector<ImageEntry> images_;
  std::ostringstream out_, err_;
  int errors_ = 0;
};

TEST_F(FolderWalkTest, FindsImagesByTheFourSuffixesDepthFirstInByteOrder) {
  for (const char* name : {"b.png", "a.jpg", "c.bmp", "d.ppm", "Z.png", ".hidden.png", "e.PNG",
                           "f.jpeg", "g.tiff", "x.txt", "png", "sub/y.png", "sub/deeper/z.png",
                           "sub/deeper/notes.txt", ".hid/q.png", "set.png/inner.png"}) {
    file(name);
  }
  folder("empty");
  walk(input_);

  EXPECT_EQ(relativePaths(),
            (std::vector<std::string>{"/.hid/q.png", "/.hidden.png", "/Z.png", "/a.jpg", "/b.png",
                                      "/c.bmp", "/d.ppm", "/set.png/inner.png", "/sub/deeper/z.png",
                                      "/sub/y.png"}));
  // Every folder, hidden or named like an image, is mirrored; files other than images leave no
  // trace.
  const std::vector<std::string> mirrors = {".hid/", "empty/", "set.png/", "sub/", "sub/deeper/"};
  EXPECT_EQ(treeOf(superpixels_), mirrors);
  EXPECT_EQ(treeOf(partitions_), mirrors);
  EXPECT_EQ(errors_, 0);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(FolderWalkTest, InputThatIsAnImageFileIsOneImageWithEmptyRelativePath) {
  file("oak.png");
  walk(input_ + "/oak.png");
  ASSERT_EQ(images_.size(), 1u);
  EXPECT_EQ(images_[0].fullPath, input_ + "/oak.png");
  EXPECT_EQ(images_[0].relativePath, "");
  EXPECT_EQ(errors_, 0);
  EXPECT_TRUE(fs::is_empty(superpixels_));

  // A plain file that is not an image cannot be walked.
  file("notes.txt");
  walk(input_ + "/notes.txt");
  EXPECT_TRUE(images_.empty());
  EXPECT_EQ(errors_, 1);
  EXPECT_EQ(err_.str().rfind(input_ + "/notes.txt: ", 0), 0u) << err_.str();
}

TEST_F(FolderWalkTest, MissingInputFolderIsReportedAsAnError) {
  const std::string missing = input_ + "/no such folder";
  walk(missing);
  EXPECT_TRUE(images_.empty());
  EXPECT_EQ(errors_, 1);
  const std::string error = err_.str();
  EXPECT_EQ(error.rfind(missing + ": ", 0), 0u) << error;
  EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
  EXPECT_EQ(out_.str(), "");
  EXPECT_TRUE(fs::is_empty(superpixels_));
}

TEST_F(FolderWalkTest, SymbolicLinksAreFollowedButLoopsAreSkippedWithAWarning) {
  file("a/p.png");
  file("sub/deeper/z.png");
  fs::create_directory_symlink(input_, input_ + "/sub/deeper/up");  // back to the input folder
  fs::create_directory_symlink(input_ + "/a", input_ + "/b");       // a sibling: walked again
  fs::create_directories(temp_.str() + "/elsewhere");
  writeFile(temp_.str() + "/elsewhere/far.jpg", "x");
  fs::create_directory_symlink(temp_.str() + "/elsewhere", input_ + "/c");
  fs::create_symlink(temp_.str() + "/elsewhere/far.jpg", input_ + "/d.jpg");
  walk(input_);

  EXPECT_EQ(relativePaths(), (std::vector<std::string>{"/a/p.png", "/b/p.png", "/c/far.jpg",
                                                       "/d.jpg", "/sub/deeper/z.png"}));
  EXPECT_EQ(treeOf(superpixels_),
            (std::vector<std::string>{"a/", "b/", "c/", "sub/", "sub/deeper/"}));
  EXPECT_EQ(errors_, 0) << "a loop is not a failure";
  const std::string warning = err_.str();
  EXPECT_EQ(warning.rfind(input_ + "/sub/deeper/up: warning: ", 0), 0u) << warning;
  EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << warning;
}

TEST_F(FolderWalkTest, DanglingLinkNamedLikeAnImageIsAnError) {
  file("good.png");
  fs::create_symlink(temp_.str() + "/gone.png", input_ + "/broken.png");
  fs::create_symlink(temp_.str() + "/gone", input_ + "/broken");
  walk(input_);
  EXPECT_EQ(relativePaths(), std::vector<std::string>{"/good.png"});
  EXPECT_EQ(errors_, 1);
  EXPECT_EQ(err_.str().rfind(input_ + "/broken.png: ", 0), 0u) << err_.str();
}

TEST_F(FolderWalkTest, OutputFolderInsideTheInputTreeIsNeverWalked) {
  file("a.png");
  file("results/superpixels/old_KVR.png");  // left by an earlier run
  file("results/partition_results/old_partition.png");
  superpixels_ = input_ + "/results/superpixels";
  partitions_ = input_ + "/results/partition_results";
  // The excluded folder is recognised whatever the spelling of its path.
  for (const std::string& excluded : {input_ + "/results", input_ + "/./results/"}) {
    SCOPED_TRACE(excluded);
    walk(input_, excluded);
    EXPECT_EQ(relativePaths(), std::vector<std::string>{"/a.png"});
    EXPECT_FALSE(fs::exists(superpixels_ + "/results"));
    EXPECT_FALSE(fs::exists(partitions_ + "/results"));
    EXPECT_EQ(errors_, 0);
  }
}

TEST_F(FolderWalkTest, MirrorThatCannotBeCreatedSkipsOnlyThatFolder) {
  for (const char* name : {"a/x.png", "b/y.png", "c/z.png", "top.png"}) file(name);
  writeFile(superpixels_ + "/a", "a plain file where the mirror folder should go");
  writeFile(partitions_ + "/b", "a plain file where the mirror folder should go");
  walk(input_);

  EXPECT_EQ(relativePaths(), (std::vector<std::string>{"/c/z.png", "/top.png"}));
  EXPECT_EQ(out_.str(), "unable to create superpixel folder\nunable to create partition folder\n");
  EXPECT_EQ(errors_, 2);
  const std::string errors = err_.str();
  const std::size_t second = errors.find('\n') + 1;
  EXPECT_EQ(errors.rfind(superpixels_ + "/a: ", 0), 0u) << errors;
  EXPECT_EQ(errors.find(partitions_ + "/b: ", second), second) << errors;
  EXPECT_TRUE(fs::is_directory(superpixels_ + "/c"));
  EXPECT_TRUE(fs::is_directory(partitions_ + "/c"));
  EXPECT_FALSE(fs::exists(partitions_ + "/a")) << "the second mirror is not tried";
}

TEST(IsImagePath, AcceptsExactlyFourLowerCaseSuffixesAfterAtLeastOneCharacter) {
  for (const char* path : {"a.png", "a.ppm", "a.bmp", "a.jpg", "/.png", "dir.png/b.jpg", "x.png"}) {
    EXPECT_TRUE(isImagePath(path)) << path;
  }
  for (const char* path : {".png", "png", "", "a.PNG", "a.Jpg", "a.jpeg", "a.tiff", "a.gif",
                           "a.png.txt", "a.png ", "apng", "a.pn"}) {
    EXPECT_FALSE(isImagePath(path)) << path;
  }
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
