#include "labelling/connectivity.hpp"

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/pipeline.hpp"
#include "support/engine.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

constexpr std::int32_t slots = 10;

// Number of 8-connected pieces of the pixel set (ascending indices) of a width x height image.
int pieceCount(const std::vector<std::int32_t>& pixels, std::int32_t width, std::int32_t height) {
  std::vector<std::uint8_t> member(static_cast<std::size_t>(width) * height, 0);
  for (const std::int32_t p : pixels) member[p] = 1;
  int pieces = 0;
  for (const std::int32_t seed : pixels) {
    if (!member[seed]) continue;
    ++pieces;
    member[seed] = 0;
    std::vector<std::int32_t> queue{seed};
    while (!queue.empty()) {
      const std::int32_t z = queue.back();
      queue.pop_back();
      for (const std::int32_t a : neighbourList(z, width, height)) {
        if (member[a]) {
          member[a] = 0;
          queue.push_back(a);
        }
      }
    }
  }
  return pieces;
}

void expectSameStats(const RegionStats& expected, const RegionStats& actual, std::int32_t slot) {
  EXPECT_EQ(expected.count, actual.count) << "region " << slot;
  EXPECT_EQ(expected.meanPosition, actual.meanPosition) << "region " << slot;
  EXPECT_EQ(expected.meanColour, actual.meanColour) << "region " << slot;
  EXPECT_EQ(expected.positionScatter, actual.positionScatter) << "region " << slot;
  EXPECT_EQ(expected.colourScatter, actual.colourScatter) << "region " << slot;
}

void expectEmptyStats(const RegionStats& stats, std::int32_t slot) {
  expectSameStats(RegionStats{}, stats, slot);
}

// Hand-made segmentations of tiny images: every pixel's slot id given as a digit, one string per
// row, ten slots. Region statistics are built from the single-pixel models in ascending pixel
// order, as merging and refinement would leave them.
class ConnectivityTest : public ::testing::Test {
 protected:
  void build(const std::vector<std::string>& rows, const cv::Mat& bgr = {}) {
    const int width = static_cast<int>(rows[0].size());
    const int height = static_cast<int>(rows.size());
    std::vector<std::int32_t> labels;
    for (const std::string& row : rows) {
      for (const char c : row) labels.push_back(c - '0');
    }
    buildFromLabels(bgr.empty() ? flatImage(width, height) : bgr, labels, slots);
  }

  void buildFromLabels(const cv::Mat& bgr, const std::vector<std::int32_t>& labels,
                       std::int32_t slotCount) {
    image_ = makeImageData(bgr);
    state_ = SegmentationState{};
    state_.image = &image_;
    state_.balanceWeight = 0.5;
    LabelMap& map = state_.labelMap;
    map.slotCount = slotCount;
    map.red.assign(slotCount, 0.0f);
    map.green.assign(slotCount, 0.0f);
    map.blue.assign(slotCount, 0.0f);
    map.labels = labels;
    state_.regionStats.assign(slotCount, RegionStats{});
    for (std::int32_t p = 0; p < static_cast<std::int32_t>(labels.size()); ++p) {
      state_.regionStats[labels[p]].absorb(pixelStats(state_, p));
    }
    listActiveRegions(state_);
  }

  // The region's current pixels, ascending.
  std::vector<std::int32_t> pixels(std::int32_t slot) const {
    return pixelsOf(state_.labelMap, slot);
  }

  // The statistics of the region's current pixel set, absorbed in ascending pixel order.
  RegionStats statsFromPixels(std::int32_t slot) const {
    RegionStats s;
    for (const std::int32_t p : pixels(slot)) s.absorb(pixelStats(state_, p));
    return s;
  }

  void expectLabels(const std::vector<std::string>& rows) const {
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
      for (int x = 0; x < static_cast<int>(rows[y].size()); ++x) {
        const std::int32_t actual = state_.labelMap.labels[y * image_.width + x];
        ASSERT_EQ(rows[y][x] - '0', actual) << "first differing pixel (" << x << ", " << y << ")";
      }
    }
  }

  bool isActive(std::int32_t slot) const {
    return std::find(state_.activeRegions.begin(), state_.activeRegions.end(), slot) !=
           state_.activeRegions.end();
  }

  ImageData image_;
  SegmentationState state_;
};

TEST_F(ConnectivityTest, PixelsTouchingAtACornerFormOnePiece) {
  // Region 0 runs along the main diagonal and region 2 along the other one; every region borders
  // three others, so nothing moves if corner contact joins pixels. (What becomes of a stale model
  // is checked with the enclosed region below.)
  for (const std::vector<std::string>& rows :
       {std::vector<std::string>{"011", "203", "233"}, {"110", "203", "023"}}) {
    SCOPED_TRACE(rows[0] + "/" + rows[1] + "/" + rows[2]);
    build(rows);
    enforceConnectivity(state_);
    expectLabels(rows);
    EXPECT_EQ(state_.regionCount, 4);
    EXPECT_EQ(state_.activeRegions, (std::vector<std::int32_t>{0, 1, 2, 3}));
    for (const std::int32_t slot : state_.activeRegions) {
      expectSameStats(statsFromPixels(slot), state_.regionStats[slot], slot);
    }
    expectConsistent(state_);
  }
}

TEST_F(ConnectivityTest, EnclosedRegionIsDissolvedIntoItsEncloserWhateverTheirOrder) {
  // A 2 x 2 region inside a ring in the top-left quadrant: once with the enclosed region processed
  // last (id 7), once first (id 0, the ring being 7).
  const std::vector<std::string> rows = {"00001111", "07701111", "07701111", "00001111",
                                         "22223333", "22223333", "22223333", "22223333"};
  for (const bool innerFirst : {false, true}) {
    SCOPED_TRACE(innerFirst ? "enclosed region processed first" : "enclosed region processed last");
    std::vector<std::string> layout = rows;
    if (innerFirst) {
      for (std::string& row : layout) {
        for (char& c : row) c = c == '0' ? '7' : c == '7' ? '0' : c;
      }
    }
    const char encloser = innerFirst ? '7' : '0';
    const std::int32_t inner = innerFirst ? 0 : 7;
    const std::int32_t outer = encloser - '0';
    build(layout);
    // A stale model must not survive a change of the region's pixels: the pass rebuilds the
    // encloser's model from its pixels before a hand-over reads it (encloser kept first) or at its
    // own turn (encloser after the enclosed region). A region whose pixels do not change keeps
    // the model it came with.
    state_.regionStats[outer] = pixelStats(state_, 0);
    enforceConnectivity(state_);

    std::vector<std::string> expected = layout;
    for (std::string& row : expected) {
      std::replace(row.begin(), row.end(), char('0' + inner), encloser);
    }
    expectLabels(expected);
    EXPECT_TRUE(pixels(inner).empty());
    expectEmptyStats(state_.regionStats[inner], inner);
    EXPECT_FALSE(isActive(inner));
    EXPECT_EQ(state_.regionCount, 4);
    EXPECT_EQ(pixels(outer).size(), 16u);
    // The encloser's model includes the dissolved pixels.
    EXPECT_EQ(state_.regionStats[outer].count, 16.0);
    EXPECT_NEAR(state_.regionStats[outer].meanPosition[0], 1.5, 1e-12);
    expectConsistent(state_);
  }
}

TEST_F(ConnectivityTest, LargestPieceNeedsThreeNeighbouringRegionsWhateverItsSize) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    bool survives;
  };
  const Case cases[] = {
      {"eight pixels between two regions", {"1111", "0000", "0000", "2222"}, false},
      {"eight pixels next to three regions", {"1133", "0000", "0000", "2222"}, true},
      {"one pixel next to two regions", {"111", "011", "222"}, false},
      {"one pixel next to three regions", {"113", "033", "222"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    build(c.rows);
    const std::vector<std::int32_t> before = pixels(0);
    const std::int32_t countBefore = state_.regionCount;
    enforceConnectivity(state_);
    if (c.survives) {
      // Keeps its pixels (later, weaker regions may still be dissolved into it).
      const std::vector<std::int32_t> after = pixels(0);
      EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end()));
      EXPECT_TRUE(isActive(0));
      for (const std::int32_t p : before) EXPECT_EQ(state_.labelMap.labels[p], 0);
    } else {
      EXPECT_TRUE(pixels(0).empty());
      expectEmptyStats(state_.regionStats[0], 0);
      EXPECT_FALSE(isActive(0));
      EXPECT_LT(state_.regionCount, countBefore);
      for (const std::int32_t label : state_.labelMap.labels) EXPECT_NE(label, 0);
    }
    expectConsistent(state_);
  }
}

TEST_F(ConnectivityTest, OfTwoEqualLargestPiecesTheOneWithTheSmallerPixelIndexStays) {
  // Region 0: pixels 0, 1 (bordering 1, 3, 4) and pixels 8, 9 (bordering 1, 2, 4).
  build({"00122", "34100", "33444"});
  enforceConnectivity(state_);
  EXPECT_EQ(pixels(0), (std::vector<std::int32_t>{0, 1}));
  expectSameStats(statsFromPixels(0), state_.regionStats[0], 0);
  const std::int32_t receiver = state_.labelMap.labels[8];
  EXPECT_EQ(state_.labelMap.labels[9], receiver) << "a piece moves as a whole";
  EXPECT_TRUE(receiver == 1 || receiver == 2 || receiver == 4) << "receiver " << receiver;
  expectConsistent(state_);
}

TEST_F(ConnectivityTest, OfTwoReceiversWithEqualCostRiseTheSmallerIdWins) {
  // Region 0 borders only 6 (met first by the search) and 3; both receivers get the same model so
  // that their cost rises are equal to the bit.
  build({"6611", "0611", "0344", "3344"});
  state_.regionStats[6] = state_.regionStats[3];
  enforceConnectivity(state_);
  expectLabels({"6611", "3611", "3344", "3344"});
  EXPECT_EQ(state_.activeRegions, (std::vector<std::int32_t>{1, 3, 4, 6}));
  expectConsistent(state_);
}

TEST_F(ConnectivityTest, DetachedSmallPieceGoesToTheNeighbourWhoseCostRisesLeast) {
  // Region 0 has a six-pixel piece and, at pixel 3, a one-pixel piece between region 3 (red) and
  // region 5 (green). That pixel is green: region 5, the larger id and not the first met, takes it.
  const std::vector<std::string> rows = {"33305555", "33355555", "33355555",
                                         "33000666", "77000666", "77776666"};
  std::mt19937 generator(11);
  const auto noisy = [&](int b, int g, int r) {
    const auto jitter = [&](int v) {
      return cv::saturate_cast<std::uint8_t>(v + int(generator() % 25) - 12);
    };
    return cv::Vec3b(jitter(b), jitter(g), jitter(r));
  };
  const cv::Mat bgr = makeImage(8, 6, [&](int x, int y) {
    if (x == 3 && y == 0) return noisy(40, 200, 40);
    switch (rows[y][x]) {
      case '3':
        return noisy(40, 40, 200);
      case '5':
        return noisy(40, 200, 40);
      case '6':
        return noisy(200, 40, 40);
      case '7':
        return noisy(128, 128, 128);
      default:
        return noisy(40, 200, 200);
    }
  });
  build(rows, bgr);
  enforceConnectivity(state_);

  expectLabels({"33355555", "33355555", "33355555", "33000666", "77000666", "77776666"});
  EXPECT_EQ(pixels(0), (std::vector<std::int32_t>{26, 27, 28, 34, 35, 36}));
  expectSameStats(statsFromPixels(0), state_.regionStats[0], 0);
  // Region 5 is processed after it received the pixel: its model is rebuilt from all 15 pixels.
  EXPECT_EQ(pixels(5).size(), 15u);
  expectSameStats(statsFromPixels(5), state_.regionStats[5], 5);
  EXPECT_EQ(state_.activeRegions, (std::vector<std::int32_t>{0, 3, 5, 6, 7}));
  expectConsistent(state_);
}

TEST_F(ConnectivityTest, PieceReceivedBeforeARegionsTurnIsPartOfItsPixelSet) {
  // Region 1 is two columns joined only through region 0, which borders region 1 alone and is
  // dissolved into it. At its own turn region 1 is one piece of 12 pixels bordering 5, 6 and 7;
  // judged on its old pixels it would have lost a column.
  build({"10155", "10165", "10167", "10177"});
  enforceConnectivity(state_);
  expectLabels({"11155", "11165", "11167", "11177"});
  EXPECT_EQ(state_.activeRegions, (std::vector<std::int32_t>{1, 5, 6, 7}));
  EXPECT_EQ(pixels(1).size(), 12u);
  expectSameStats(statsFromPixels(1), state_.regionStats[1], 1);
  expectConsistent(state_);
}

TEST_F(ConnectivityTest, RegionJudgedAtItsTurnIsNotRevisitedWhenItLosesANeighbourLater) {
  // Region 0 borders 1, 2 and 3 at its turn, but its only contact with 3 is the detached pixel 2
  // of region 3, handed away at region 3's turn. Region 0 stays, bordering two regions.
  build({"003111", "001111", "222333", "222344"});
  enforceConnectivity(state_);
  EXPECT_EQ(state_.activeRegions, (std::vector<std::int32_t>{0, 1, 2, 3}));
  const std::int32_t receiver = state_.labelMap.labels[2];
  EXPECT_TRUE(receiver == 0 || receiver == 1) << "receiver " << receiver;
  std::set<std::int32_t> bordering;
  for (const std::int32_t p : pixels(0)) {
    for (const std::int32_t a : neighbourList(p, image_.width, image_.height)) {
      if (state_.labelMap.labels[a] != 0) bordering.insert(state_.labelMap.labels[a]);
    }
  }
  EXPECT_EQ(bordering, (std::set<std::int32_t>{1, 2}));
  expectConsistent(state_);
}

TEST_F(ConnectivityTest, ScrambledLabelMapsEndWithEveryRegionOnePiece) {
  // Blocks of 4 x 4 with a quarter of the pixels given a random label: many fragments, enclosed
  // pixels and chains of hand-overs.
  const std::int32_t width = 14, height = 11, slotCount = 12;
  for (unsigned seed = 1; seed <= 25; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 generator(seed);
    std::vector<std::int32_t> labels;
    for (std::int32_t y = 0; y < height; ++y) {
      for (std::int32_t x = 0; x < width; ++x) {
        const bool scramble = generator() % 4 == 0;
        labels.push_back(scramble ? std::int32_t(generator() % slotCount) : (y / 4) * 4 + x / 4);
      }
    }
    buildFromLabels(noiseImage(width, height, seed), labels, slotCount);
    const std::int32_t countBefore = state_.regionCount;
    enforceConnectivity(state_);

    expectConsistent(state_);
    EXPECT_LE(state_.regionCount, countBefore);
    EXPECT_TRUE(std::is_sorted(state_.activeRegions.begin(), state_.activeRegions.end()));
    for (std::int32_t slot = 0; slot < slotCount; ++slot) {
      const std::vector<std::int32_t> members = pixels(slot);
      if (members.empty()) {
        expectEmptyStats(state_.regionStats[slot], slot);
        continue;
      }
      EXPECT_EQ(pieceCount(members, width, height), 1) << "region " << slot;
      EXPECT_EQ(state_.regionStats[slot].count, static_cast<double>(members.size()))
          << "region " << slot;
    }
  }
}

TEST(ConnectivityWholeImage, CountsOneAndTwoEndWithOneRegionCoveringTheImage) {
  const cv::Mat images[] = {
      noiseImage(20, 15, 3),
      makeImage(24, 18, [](int x, int y) { return cv::Vec3b(10 * x, 12 * y, 100); }),
      flatImage(9, 7)};
  for (const cv::Mat& image : images) {
    for (const std::int32_t count : {1, 2}) {
      SCOPED_TRACE(std::to_string(image.cols) + "x" + std::to_string(image.rows) + " count " +
                   std::to_string(count));
      const ImageData data = makeImageData(image);
      SegmentationState state;
      runStages(state, data, Options{count, 0.5f});
      EXPECT_EQ(state.trace.keptWholeImageRegions, 1);
      EXPECT_EQ(state.trace.activeRegions.size(), 1u);
      const Result result = makeResult(state);
      EXPECT_EQ(result.regionCount, 1);
      EXPECT_EQ(std::count(result.labels.begin(), result.labels.end(), 0),
                static_cast<std::ptrdiff_t>(result.labels.size()));
    }
  }
}

}  // namespace
}  // namespace superpixels::testing
