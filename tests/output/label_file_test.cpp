// The label file format: what labelText writes, what parseLabelText reads back and refuses, and
// what counts as whole.

#include <cerrno>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "superpixels/io.hpp"
#include "support/files.hpp"

namespace superpixels::testing {
namespace {

// Labels of every width, the extremes of the type included, are written in full: rows of tab-ended
// decimal labels, each row ended by CR LF.
TEST(LabelText, WritesLabelsOfEveryWidth) {
  Result result;
  result.width = 3;
  result.height = 2;
  result.labels = {7,  1234567,
                   0,  std::numeric_limits<std::int32_t>::min(),
                   42, std::numeric_limits<std::int32_t>::max()};
  EXPECT_EQ(labelText(result), "7\t1234567\t0\t\r\n-2147483648\t42\t2147483647\t\r\n");
  result.labels = {999, 1000, 5, 10, 99, 100};
  EXPECT_EQ(labelText(result), "999\t1000\t5\t\r\n10\t99\t100\t\r\n");
  result.width = 0;
  result.labels.clear();
  EXPECT_EQ(labelText(result), "\r\n\r\n");
}

// Runs of equal labels are formatted once and repeated: the text must equal label-by-label
// formatting for runs of every length, at row ends, and for labels of 1 to 11 characters.
TEST(LabelText, RunsMatchLabelByLabelFormatting) {
  std::mt19937 generator(17);
  const std::int32_t values[] = {0, 7, 42, 999, 12345, 1234567, -5, -2147483647 - 1, 2147483647};
  for (int round = 0; round < 60; ++round) {
    Result result;
    result.width = 1 + static_cast<int>(generator() % 40);
    result.height = 1 + static_cast<int>(generator() % 5);
    while (result.labels.size() < static_cast<std::size_t>(result.width) * result.height) {
      const std::int32_t label = round % 3 == 0 ? static_cast<std::int32_t>(generator() % 300)
                                                : values[generator() % std::size(values)];
      const std::size_t run = 1 + generator() % (round % 2 == 0 ? 3 : 30);
      result.labels.insert(result.labels.end(), run, label);
    }
    result.labels.resize(static_cast<std::size_t>(result.width) * result.height);
    std::string expected;
    for (int y = 0; y < result.height; ++y) {
      for (int x = 0; x < result.width; ++x) {
        expected += std::to_string(result.labels[y * result.width + x]) + "\t";
      }
      expected += "\r\n";
    }
    ASSERT_EQ(labelText(result), expected) << "round " << round;
  }
}

TEST(LabelText, ReadsBackWhatItWrites) {
  Result result;
  result.width = 3;
  result.height = 2;
  result.regionCount = 3;
  result.labels = {7, 7, 3, 3, 12, 12};
  LabelGrid grid;
  std::string error;
  ASSERT_TRUE(parseLabelText(labelText(result), grid, error)) << error;
  EXPECT_EQ(grid.width, 3);
  EXPECT_EQ(grid.height, 2);
  EXPECT_EQ(grid.labels, result.labels);
  EXPECT_TRUE(isWholeLabelText(labelText(result), 3, 2));

  // -1 outside a mask.
  ASSERT_TRUE(parseLabelText("-1\t0\t\r\n", grid, error)) << error;
  EXPECT_EQ(grid.labels, (std::vector<std::int32_t>{-1, 0}));

  // The largest label.
  ASSERT_TRUE(parseLabelText("2147483647\t5\t\r\n", grid, error)) << error;
  EXPECT_EQ(grid.labels, (std::vector<std::int32_t>{2147483647, 5}));
}

TEST(LabelText, RefusesAnythingElseNamingTheLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "empty file"},
      {"0\t1\t\n", "line 1: line feed without carriage return"},
      {"0\t1\t\r\n0\t1\t\r", "line 2: carriage return without line feed"},
      {"0\t1\t\r\n0\t\r\n", "line 2: 1 labels, line 1 has 2"},
      {"0\t1\t\r\n0\t1\t2\t\r\n", "line 2: 3 labels, line 1 has 2"},
      {"0\t1\t\r\n0\t1\t", "line 2: file ends without CR LF"},
      {"0\t1", "line 1: file ends without tab and CR LF"},
      {"0\t1\r\n", "line 1: label followed by a carriage return instead of a tab"},
      {"0 \t\r\n", "line 1: label followed by a space instead of a tab"},
      {"0\t\t\r\n", "line 1: expected a digit, found a tab"},
      {"0\t-2\t\r\n", "line 1: a negative label other than -1"},
      {"0\t-10\t\r\n", "line 1: a negative label other than -1"},
      {"0\t-\t\r\n", "line 1: a negative label other than -1"},
      {"0\t\r\n\r\n", "line 2: no labels"},
      {"2147483648\t\r\n", "line 1: label too large"},
  };
  for (const auto& [text, expected] : cases) {
    LabelGrid grid;
    std::string error;
    EXPECT_FALSE(parseLabelText(text, grid, error)) << ::testing::PrintToString(text);
    EXPECT_EQ(error, expected) << ::testing::PrintToString(text);
    EXPECT_FALSE(isWholeLabelText(text, 2, 2)) << ::testing::PrintToString(text);
  }
}

TEST(LabelText, WholeOnlyWithTheExpectedNumberOfRowsAndColumns) {
  const std::string text = "0\t0\t1\t\r\n0\t1\t1\t\r\n";
  EXPECT_TRUE(isWholeLabelText(text, 3, 2));
  EXPECT_FALSE(isWholeLabelText(text, 3, 1));
  EXPECT_FALSE(isWholeLabelText(text, 3, 3));
  EXPECT_FALSE(isWholeLabelText(text, 2, 2));
  EXPECT_FALSE(isWholeLabelText(text.substr(0, text.size() - 1), 3, 2));
}

// Label files of labels from anywhere (not segment()): written whole, read back equal, refused when
// they hold more labels than the limit, are missing, or do not match their size.
TEST(LabelFiles, WrittenAndReadBackThroughThePublicFunctions) {
  const TempFolder folder;
  const LabelGrid grid{3, 2, {-1, 0, 7, 2147483647, 5, -1}};
  const std::string path = (folder / "labels.txt").string();
  ASSERT_EQ(writeLabelFile(path, grid), "");
  EXPECT_EQ(readFile(path), "-1\t0\t7\t\r\n2147483647\t5\t-1\t\r\n");
  const LabelFile read = readLabelFile(path);
  ASSERT_TRUE(read.ok()) << read.error;
  EXPECT_EQ(read.grid.width, 3);
  EXPECT_EQ(read.grid.height, 2);
  EXPECT_EQ(read.grid.labels, grid.labels);

  EXPECT_EQ(readLabelFile(path, 5).error, "map is 3 x 2 labels, more than the limit of 5");
  EXPECT_EQ(readLabelFile((folder / "none.txt").string()).systemError, ENOENT);
  EXPECT_NE(writeLabelFile((folder / "none" / "labels.txt").string(), grid), "");
  EXPECT_THROW(labelText(LabelGrid{2, 2, {1, 2, 3}}), std::invalid_argument);
}

}  // namespace
}  // namespace superpixels::testing
