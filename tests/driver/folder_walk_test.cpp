#include "driver/folder_walk.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/files.hpp"

namespace superpixels::testing {
namespace {

using Kind = WalkEntry::Kind;

// An input tree under <temp>/in, and what walking it met.
class FolderWalkTest : public ::testing::Test {
 protected:
  FolderWalkTest() : input_(temp_.str() + "/in") { fs::create_directories(input_); }

  // Creates the folders on the way and an (undecodable: the walk does not read it) file.
  void file(const std::string& relative) {
    fs::create_directories(fs::path(input_ + "/" + relative).parent_path());
    writeFile(input_ + "/" + relative, "not decoded by the walk");
  }
  void folder(const std::string& relative) { fs::create_directories(input_ + "/" + relative); }

  void walk(const std::string& input, const std::vector<std::string>& excluded = {}) {
    entries_ = walkInput(input, excluded);
  }

  // Relative paths of the entries of one kind, in walk order.
  std::vector<std::string> relativePaths(Kind kind = Kind::image) const {
    std::vector<std::string> paths;
    for (const WalkEntry& entry : entries_) {
      if (entry.kind != kind) continue;
      EXPECT_EQ(entry.fullPath, input_ + entry.relativePath);
      paths.push_back(entry.relativePath);
    }
    return paths;
  }

  // "PATH: reason" of every warning or error, in walk order.
  std::vector<std::string> problems(Kind kind) const {
    std::vector<std::string> lines;
    for (const WalkEntry& entry : entries_) {
      if (entry.kind == kind) lines.push_back(entry.fullPath + ": " + entry.reason);
    }
    return lines;
  }

  TempFolder temp_;
  std::string input_;
  std::vector<WalkEntry> entries_;
};

TEST_F(FolderWalkTest, FindsImagesByTheirSuffixesInAnyCaseDepthFirstInByteOrder) {
  for (const char* name : {"b.png",
                           "a.jpg",
                           "c.bmp",
                           "d.ppm",
                           "Z.png",
                           ".hidden.png",
                           "e.PNG",
                           "f.jpeg",
                           "g.tiff",
                           "h.TIF",
                           "i.webp",
                           "IMG_0001.JPG",
                           "x.txt",
                           "png",
                           "sub/y.png",
                           "sub/deeper/z.png",
                           "sub/deeper/notes.txt",
                           ".hid/q.png",
                           "set.png/inner.png",
                           "anim.gif",
                           "sub/shot.HEIC",
                           "sub/raw.cr2"}) {
    file(name);
  }
  folder("empty");
  walk(input_);

  EXPECT_EQ(relativePaths(),
            (std::vector<std::string>{"/.hid/q.png", "/.hidden.png", "/IMG_0001.JPG", "/Z.png",
                                      "/a.jpg", "/b.png", "/c.bmp", "/d.ppm", "/e.PNG", "/f.jpeg",
                                      "/g.tiff", "/h.TIF", "/i.webp", "/set.png/inner.png",
                                      "/sub/deeper/z.png", "/sub/y.png"}));
  // Results are named after the stem, whatever the suffix's length.
  std::vector<std::string> bases;
  for (const WalkEntry& entry : entries_) {
    if (entry.kind == Kind::image) bases.push_back(entry.relativeBase);
  }
  EXPECT_EQ(bases, (std::vector<std::string>{"/.hid/q", "/.hidden", "/IMG_0001", "/Z", "/a", "/b",
                                             "/c", "/d", "/e", "/f", "/g", "/h", "/i",
                                             "/set.png/inner", "/sub/deeper/z", "/sub/y"}));
  // Every folder, hidden or named like an image, is met before its contents; files other than
  // images leave no trace, except those of image formats the tool does not read.
  EXPECT_EQ(relativePaths(Kind::folder),
            (std::vector<std::string>{"/.hid", "/empty", "/set.png", "/sub", "/sub/deeper"}));
  EXPECT_EQ(relativePaths(Kind::otherFormat),
            (std::vector<std::string>{"/anim.gif", "/sub/raw.cr2", "/sub/shot.HEIC"}));
  std::vector<std::string> order;
  for (const WalkEntry& entry : entries_) order.push_back(entry.relativePath);
  EXPECT_LT(std::find(order.begin(), order.end(), "/sub"),
            std::find(order.begin(), order.end(), "/sub/deeper/z.png"));
  EXPECT_TRUE(problems(Kind::error).empty());
  EXPECT_TRUE(problems(Kind::warning).empty());
}

TEST_F(FolderWalkTest, InputThatIsAnImageFileIsOneImageNamedAsInItsFolder) {
  file("oak.png");
  walk(input_ + "/oak.png");
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(entries_[0].kind, Kind::image);
  EXPECT_EQ(entries_[0].fullPath, input_ + "/oak.png");
  EXPECT_EQ(entries_[0].relativePath, "/oak.png");
  EXPECT_EQ(entries_[0].relativeBase, "/oak");

  // A name without a folder is its own relative path.
  const fs::path previous = fs::current_path();
  fs::current_path(input_);
  walk("oak.png");
  fs::current_path(previous);
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(entries_[0].fullPath, "oak.png");
  EXPECT_EQ(entries_[0].relativeBase, "/oak");

  // A plain file that is not an image cannot be walked.
  file("notes.txt");
  walk(input_ + "/notes.txt");
  EXPECT_EQ(
      problems(Kind::error),
      std::vector<std::string>{input_ + "/notes.txt: cannot open input folder: not a folder or an "
                                        "image file"});
  EXPECT_EQ(entries_.size(), 1u);
}

TEST_F(FolderWalkTest, MissingInputFolderIsReportedAsAnError) {
  const std::string missing = input_ + "/no such folder";
  walk(missing);
  EXPECT_EQ(
      problems(Kind::error),
      std::vector<std::string>{missing + ": cannot open input folder: No such file or directory"});
  EXPECT_EQ(entries_.size(), 1u);
}

TEST_F(FolderWalkTest, SymbolicLinksAreFollowedButLoopsAreSkippedWithAWarning) {
  file("a/p.png");
  file("sub/deeper/z.png");
  fs::create_directory_symlink(input_, input_ + "/sub/deeper/up");  // back to the input folder
  fs::create_directory_symlink(input_ + "/a", input_ + "/b");       // a sibling: walked already
  fs::create_directories(temp_.str() + "/elsewhere");
  writeFile(temp_.str() + "/elsewhere/far.jpg", "x");
  fs::create_directory_symlink(temp_.str() + "/elsewhere", input_ + "/c");
  fs::create_symlink(temp_.str() + "/elsewhere/far.jpg", input_ + "/d.jpg");
  walk(input_);

  EXPECT_EQ(relativePaths(),
            (std::vector<std::string>{"/a/p.png", "/c/far.jpg", "/d.jpg", "/sub/deeper/z.png"}));
  EXPECT_EQ(relativePaths(Kind::folder),
            (std::vector<std::string>{"/a", "/c", "/sub", "/sub/deeper"}));
  EXPECT_TRUE(problems(Kind::error).empty()) << "a loop is not a failure";
  EXPECT_EQ(
      problems(Kind::warning),
      (std::vector<std::string>{
          input_ + "/b: warning: skipped, the same folder as " + input_ + "/a, walked already",
          input_ + "/sub/deeper/up: warning: skipped, it leads back to a folder being walked"}));
}

// d0/a and d0/b lead to d1, d1/a and d1/b to d2, ...: walked by every path, 14 levels would give
// 16384 copies of the one image at the bottom.
TEST_F(FolderWalkTest, EveryRealFolderIsWalkedOnceHoweverManyLinksLeadToIt) {
  constexpr int levels = 14;
  const auto level = [&](int depth) { return input_ + "/d" + std::to_string(depth); };
  fs::create_directories(level(0));
  for (int depth = 0; depth < levels; ++depth) {
    fs::create_directories(level(depth + 1));
    fs::create_directory_symlink(level(depth + 1), level(depth) + "/a");
    fs::create_directory_symlink(level(depth + 1), level(depth) + "/b");
  }
  writeFile(level(levels) + "/bottom.png", "not decoded by the walk");
  walk(input_);
  EXPECT_EQ(relativePaths().size(), 1u);
  // Each "b", and each "dN" met again in the input folder, is one warning.
  EXPECT_EQ(problems(Kind::warning).size(), static_cast<std::size_t>(2 * levels));
}

// What cannot be opened may hide images: each is one error, never a silent gap in the results.
// Permission bits are tried without privileges (a child process as nobody), since root has them
// all; a path longer than the system allows fails for root as well.
TEST_F(FolderWalkTest, FoldersAndEntriesThatCannotBeOpenedAreErrors) {
  file("ok/a.png");
  // Each level's name is 200 bytes: the path passes PATH_MAX (4096) after about 20 levels.
  const std::string level(200, 'n');
  std::string deep = input_ + "/long";
  folder("long");
  int fd = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
  for (int depth = 0; depth < 21; ++depth) {
    ASSERT_EQ(::mkdirat(fd, level.c_str(), 0777), 0);
    const int child = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = child;
    if (deep.size() + 1 + level.size() < PATH_MAX) deep += "/" + level;
  }
  ::close(fd);
  file("noexec/inside/b.png");
  fs::permissions(input_ + "/noexec", fs::perms::owner_read | fs::perms::others_read);
  file("noread/inside/c.png");
  fs::permissions(input_ + "/noread", fs::perms::owner_exec | fs::perms::others_exec);

  int lines[2];
  ASSERT_EQ(::pipe(lines), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(lines[0]);
    // Where root cannot become nobody (a user namespace without that id), the bits go untested.
    if (::geteuid() == 0 && ::setgid(65534) == 0) (void)::setuid(65534);
    walk(input_);
    std::string text = ::geteuid() == 0 ? "privileged\n" : "";
    for (const std::string& line : problems(Kind::error)) text += line + "\n";
    text += "images " + std::to_string(relativePaths().size()) + "\n";
    ::_exit(::write(lines[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0
                                                                                             : 1);
  }
  ::close(lines[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = ::read(lines[0], buffer, sizeof buffer)) > 0;) text.append(buffer, got);
  ::close(lines[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string tooLong = deep + "/" + level + ": cannot read: File name too long\n";
  if (text.starts_with("privileged")) {
    EXPECT_EQ(text, "privileged\n" + tooLong + "images 3\n");
  } else {
    EXPECT_EQ(text, tooLong + input_ + "/noexec: cannot list folder: Permission denied\n" + input_ +
                        "/noread: cannot list folder: Permission denied\nimages 1\n");
  }
  for (const char* locked : {"/noexec", "/noread"})
    fs::permissions(input_ + locked, fs::perms::owner_all);
  // Too deep for std::filesystem to remove; rm walks relative to each folder.
  EXPECT_EQ(std::system(("rm -rf '" + input_ + "/long'").c_str()), 0);
}

// A dangling link or a special file (a FIFO, a device) named like an image is an error; named
// otherwise it is left alone like any other file.
TEST_F(FolderWalkTest, DanglingLinksAndSpecialFilesNamedLikeImagesAreErrors) {
  file("good.png");
  fs::create_symlink(temp_.str() + "/gone.png", input_ + "/broken.png");
  fs::create_symlink(temp_.str() + "/gone", input_ + "/broken");
  ASSERT_EQ(::mkfifo((input_ + "/fifo.png").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((input_ + "/fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", input_ + "/zero.jpg");
  walk(input_);
  EXPECT_EQ(relativePaths(), std::vector<std::string>{"/good.png"});
  EXPECT_EQ(problems(Kind::error),
            (std::vector<std::string>{
                input_ + "/broken.png: cannot read: No such file or directory",
                input_ + "/fifo.png: not a regular file", input_ + "/zero.jpg: not a regular file"}));
}

TEST_F(FolderWalkTest, OutputAndMasksFoldersInsideTheInputTreeAreNeverWalked) {
  file("a.png");
  file("results/superpixels/old_KVR.png");  // left by an earlier run
  file("results/partition_results/old_partition.png");
  file("masks/a.png");
  // The excluded folders are recognised whatever the spelling of their paths.
  for (const std::string& results : {input_ + "/results", input_ + "/./results/"}) {
    SCOPED_TRACE(results);
    walk(input_, {results, input_ + "/masks"});
    EXPECT_EQ(relativePaths(), std::vector<std::string>{"/a.png"});
    EXPECT_TRUE(relativePaths(Kind::folder).empty());
  }
}

TEST(IsImagePath, AcceptsEightSuffixesInAnyCaseAfterAtLeastOneCharacter) {
  for (const char* path :
       {"a.png", "a.ppm", "a.bmp", "a.jpg", "a.jpeg", "a.tif", "a.tiff", "a.webp", "a.PNG", "a.Jpg",
        "A.JPEG", "a.TiFf", "a.WEBP", "/.png", "dir.png/b.jpg", "x.png", "a.tar.jpeg"}) {
    EXPECT_TRUE(isImagePath(path)) << path;
  }
  for (const char* path : {".png", ".jpeg", "png", "", "a.gif", "a.png.txt", "a.png ", "apng",
                           "a.pn", "a.jpe", "a.tiffs", "a.pngx"}) {
    EXPECT_FALSE(isImagePath(path)) << path;
  }
  EXPECT_EQ(imageSuffixLength("a.JPEG"), 5u);
  EXPECT_EQ(imageSuffixLength("a.tif"), 4u);
  EXPECT_EQ(imageSuffixLength("a.gif"), 0u);
}

}  // namespace
}  // namespace superpixels::testing
