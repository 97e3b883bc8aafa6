#include "output/atomic_file.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "support/files.hpp"

namespace superpixels::testing {
namespace {

std::vector<std::string> entriesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AtomicFile, WritesNewFileAndLeavesNoTemporaryBehind) {
  TempFolder folder;
  // Result paths hold "//" after the output sub-folder's name.
  const std::string path = folder.str() + "//oak.txt";
  const std::string bytes("0\t1\t\r\n\0binary\xff", 14);
  const WriteStatus status = writeFileAtomically(path, bytes);
  ASSERT_TRUE(status.ok) << status.reason;
  EXPECT_EQ(readFile(path), bytes);
  EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"oak.txt"});

  ASSERT_TRUE(writeFileAtomically((folder / "empty.txt").string(), "").ok);
  EXPECT_EQ(fs::file_size(folder / "empty.txt"), 0u);
}

TEST(AtomicFile, ReplacesAnExistingFileWhole) {
  TempFolder folder;
  const std::string path = (folder / "oak.txt").string();
  writeFile(path, std::string(1000, 'o'));
  ASSERT_TRUE(writeFileAtomically(path, "new").ok);
  EXPECT_EQ(readFile(path), "new");
  ASSERT_TRUE(writeFileAtomically(path, "newer and longer").ok);
  EXPECT_EQ(readFile(path), "newer and longer");
  EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"oak.txt"});
}

// The file is created with 0666 less the umask, whatever the umask, and the umask is left as it
// was.
TEST(AtomicFile, ResultGetsThePermissionsTheUmaskAllowsNotPrivateOnes) {
  TempFolder folder;
  for (const mode_t mask : {022, 027, 077, 0}) {
    const mode_t previous = ::umask(mask);
    const WriteStatus status = writeFileAtomically((folder / "oak.txt").string(), "x");
    const mode_t after = ::umask(previous);
    ASSERT_TRUE(status.ok) << status.reason;
    EXPECT_EQ(after, mask);
    struct stat info;
    ASSERT_EQ(::stat((folder / "oak.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask) << "umask " << mask;
  }
}

TEST(AtomicFile, FailureReturnsAReasonAndLeavesNothing) {
  TempFolder folder;
  writeFile(folder / "plain", "a plain file");
  fs::create_directory(folder / "taken.txt");
  struct Case {
    const char* name;
    std::string path;
  };
  const Case cases[] = {
      {"missing folder", (folder / "missing" / "oak.txt").string()},
      {"parent is a plain file", (folder / "plain" / "oak.txt").string()},
      {"target is a folder", (folder / "taken.txt").string()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WriteStatus status = writeFileAtomically(c.path, "bytes");
    EXPECT_FALSE(status.ok);
    EXPECT_FALSE(status.reason.empty());
  }
  // No temporary file anywhere; the existing entries are untouched.
  EXPECT_EQ(entriesOf(folder.path()), (std::vector<std::string>{"plain", "taken.txt"}));
  EXPECT_EQ(readFile(folder / "plain"), "a plain file");
  EXPECT_TRUE(fs::is_directory(folder / "taken.txt"));
  EXPECT_TRUE(fs::is_empty(folder / "taken.txt"));
}

TEST(AtomicFile, PathWithoutFolderWritesIntoTheWorkingFolder) {
  TempFolder folder;
  const fs::path previous = fs::current_path();
  fs::current_path(folder.path());
  const WriteStatus status = writeFileAtomically("bare.txt", "here");
  fs::current_path(previous);
  ASSERT_TRUE(status.ok) << status.reason;
  EXPECT_EQ(readFile(folder / "bare.txt"), "here");
  EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"bare.txt"});
}

// What a killed run leaves (a temporary of a result) is removed; everything else stays, another
// program's temporary of the same pattern too.
TEST(AtomicFile, LeftoverTemporariesAndOnlyThoseAreRemoved) {
  TempFolder folder;
  const std::vector<std::string> leftovers = {".oak.txt.tmp-a1B2c3", ".oak_KVR.png.tmp-ZZZZZZ"};
  const std::vector<std::string> others = {".data.tmp-ABC123", ".txt.tmp-ABC123"};
  const std::vector<std::string> kept = {
      ".oak.txt.tmp-a1B2c",
      ".oak.txt.tmp-a1B2c3d",
      ".oak.txt.tmp-a1B2c_",
      "oak.txt.tmp-a1B2c3",
      "..tmp-abcdef.txt",
      ".tmp-abcdef",
      "oak.txt",
  };
  for (const std::string& name : leftovers) {
    EXPECT_TRUE(isTemporaryName(name)) << name;
    writeFile(folder / name, "half");
  }
  for (const std::string& name : kept) {
    EXPECT_FALSE(isTemporaryName(name)) << name;
    writeFile(folder / name, "keep");
  }
  for (const std::string& name : others) {
    writeFile(folder / name, "another program's");
    fs::last_write_time(folder / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  fs::create_directory(folder / "sub");
  writeFile(folder / "sub" / leftovers[0], "not this folder's");

  const std::vector<std::string> suffixes = {".txt", "_KVR.png"};
  EXPECT_EQ(removeLeftoverTemporaries(folder.str(), suffixes), 0)
      << "fresh ones may be a live writer's";
  fs::last_write_time(folder / leftovers[0],
                      fs::file_time_type::clock::now() - std::chrono::hours(1));
  EXPECT_EQ(removeLeftoverTemporaries(folder.str(), suffixes), 1) << "stale ones go";
  EXPECT_EQ(removeLeftoverTemporaries(folder.str(), suffixes, std::chrono::seconds(0)), 1);
  std::vector<std::string> expected = kept;
  expected.insert(expected.end(), others.begin(), others.end());
  expected.push_back("sub");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entriesOf(folder.path()), expected);
  EXPECT_TRUE(fs::exists(folder / "sub" / leftovers[0]));
  EXPECT_EQ(removeLeftoverTemporaries((folder / "missing").string(), suffixes), 0);
}

}  // namespace
}  // namespace superpixels::testing
