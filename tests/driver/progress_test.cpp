// What the console shows of a run: the progress line on standard error only when asked or on a
// terminal, and --quiet.

#include "support/images.hpp"
#include "support/tool.hpp"

namespace superpixels::testing {
namespace {

TEST_F(SmallTreeTest, ProgressLineOnlyWhenAskedOrOnATerminalAndQuietDropsImageLines) {
  makeTree();
  // Standard error is a file here: no progress line unless forced.
  const ToolRun plain = run({in_, out_, "5", "0.5"});
  EXPECT_EQ(plain.err, "");
  EXPECT_NE(plain.out.find("reading  "), std::string::npos);

  const ToolRun forced = run({"--progress", "--quiet", in_, out_, "5", "0.5"});
  EXPECT_EQ(forced.exitCode, 0);
  EXPECT_EQ(forced.out, "") << "--quiet keeps standard output empty";
  EXPECT_NE(forced.err.find("superpixels: 12/12 images"), std::string::npos) << forced.err;
  // The line is rewritten in place and erased at the end, so nothing is left on the terminal.
  EXPECT_EQ(forced.err.find('\n'), std::string::npos) << forced.err;
  EXPECT_EQ(forced.err.substr(forced.err.size() - 4), "\r\x1b[K");

  const ToolRun off = run({"--progress", "--no-progress", in_, out_, "5", "0.5"});
  EXPECT_EQ(off.err, "");
}

}  // namespace
}  // namespace superpixels::testing
