// QuickCost's lower bounds must hold the exact cost ChangedCost computes after a one-pixel change,
// for regions of every size and colour spread, and be known for most changes.

#include <random>

#include <gtest/gtest.h>

#include "refine/changed_cost.hpp"
#include "refine/quick_cost.hpp"

namespace superpixels::testing {
namespace {

struct Sample {
  RegionStats region;
  std::vector<PixelFeatures> pixels;
};

// A region of `count` pixels around (cx, cy) whose colours spread by `spread` around a base colour;
// `flat` channels do not vary at all.
Sample makeRegion(std::mt19937& generator, int count, double spread, int flat) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double cx = 50.0 + 400.0 * unit(generator);
  const double cy = 50.0 + 250.0 * unit(generator);
  const double radius = std::sqrt(static_cast<double>(count)) * 0.6 + 1.0;
  double base[3];
  for (double& b : base) b = 40.0 + 170.0 * unit(generator);
  Sample sample;
  for (int i = 0; i < count; ++i) {
    PixelFeatures f;
    f.x = std::floor(cx + radius * (2.0 * unit(generator) - 1.0));
    f.y = std::floor(cy + radius * (2.0 * unit(generator) - 1.0));
    double colour[3];
    for (int c = 0; c < 3; ++c) {
      const double v = c < flat ? base[c] : base[c] + spread * (2.0 * unit(generator) - 1.0);
      colour[c] = std::floor(std::clamp(v, 0.0, 255.0));
    }
    f.L = colour[0];
    f.a = colour[1];
    f.b = colour[2];
    sample.region.absorbPixel(f.x, f.y, f.L, f.a, f.b);
    sample.pixels.push_back(f);
  }
  return sample;
}

TEST(QuickCost, BoundsHoldTheExactCost) {
  std::mt19937 generator(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double w = 0.37;
  int known = 0, asked = 0;
  for (int round = 0; round < 3000; ++round) {
    const int count = 6 + static_cast<int>(generator() % (round % 3 == 0 ? 30 : 3000));
    const double spread = round % 7 == 0 ? 0.6 : 2.0 + 80.0 * unit(generator);
    const Sample sample = makeRegion(generator, count, spread, round % 11 == 0 ? 1 : 0);
    const QuickCost quick(sample.region, 600.0);
    for (int trial = 0; trial < 4; ++trial) {
      // A pixel joining: a neighbour-like one or one of a different colour.
      PixelFeatures joining = sample.pixels[generator() % sample.pixels.size()];
      joining.x += 1.0;
      if (trial % 2 == 1) joining.L = std::floor(255.0 * unit(generator));
      const CostBound grown = quick.withPixel(joining, w);
      ChangedCost exactGrown = ChangedCost::withPixel(sample.region, joining, w, quick.anchor());
      ++asked;
      if (grown.known) {
        ++known;
        const double exact = exactGrown.exact();
        ASSERT_LE(grown.lo, exact) << "count " << count << " spread " << spread;
      }
      // One of its own pixels leaving.
      const PixelFeatures leaving = sample.pixels[generator() % sample.pixels.size()];
      const CostBound released = quick.withoutPixel(leaving, w);
      ChangedCost exactReleased =
          ChangedCost::withoutPixel(sample.region, leaving, w, quick.anchor());
      ++asked;
      if (released.known) {
        ++known;
        const double exact = exactReleased.exact();
        ASSERT_LE(released.lo, exact) << "count " << count << " spread " << spread;
      }
    }
  }
  // Useless bounds would send every gain to the exact path.
  EXPECT_GT(known, asked / 2);
}

// Pixels far from a region's colours change its determinant many times over (delta well beyond a
// quarter either way): the bounds hold there too, and those of joining pixels are known.
TEST(QuickCost, BoundsHoldForLargeChanges) {
  std::mt19937 generator(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double w = 0.8;
  int known = 0, asked = 0;
  for (int round = 0; round < 2000; ++round) {
    const int count = 9 + static_cast<int>(generator() % 60);
    Sample sample = makeRegion(generator, count, 1.0 + 6.0 * unit(generator), 0);
    // An outlier of the region, which may leave it again.
    PixelFeatures outlier = sample.pixels[0];
    outlier.L = std::floor(255.0 * unit(generator));
    outlier.a = std::floor(255.0 * unit(generator));
    outlier.b = std::floor(255.0 * unit(generator));
    sample.region.absorbPixel(outlier.x, outlier.y, outlier.L, outlier.a, outlier.b);
    const QuickCost quick(sample.region, 600.0);
    PixelFeatures joining = sample.pixels[generator() % sample.pixels.size()];
    joining.y += 1.0;
    joining.L = std::floor(255.0 * unit(generator));
    joining.b = std::floor(255.0 * unit(generator));
    for (const bool join : {true, false}) {
      const PixelFeatures& pixel = join ? joining : outlier;
      const CostBound bound = join ? quick.withPixel(pixel, w) : quick.withoutPixel(pixel, w);
      ChangedCost exact = join ? ChangedCost::withPixel(sample.region, pixel, w, quick.anchor())
                               : ChangedCost::withoutPixel(sample.region, pixel, w, quick.anchor());
      asked += join;
      if (!bound.known) continue;
      known += join;
      ASSERT_LE(bound.lo, exact.exact()) << "round " << round << (join ? " joining" : " leaving");
    }
  }
  EXPECT_GT(known, asked * 9 / 10);
}

TEST(QuickCost, UnknownWhereItCannotBound) {
  std::mt19937 generator(8);
  // Fewer than 8 pixels afterwards: the cost takes the trace branch.
  const Sample small = makeRegion(generator, 7, 30.0, 0);
  EXPECT_FALSE(QuickCost(small.region, 600.0).withoutPixel(small.pixels[0], 0.5).known);
  // One colour only: the determinant is 0, there is no cube root to start from.
  const Sample flat = makeRegion(generator, 50, 0.0, 3);
  EXPECT_FALSE(QuickCost(flat.region, 600.0).withPixel(flat.pixels[0], 0.5).known);
}

}  // namespace
}  // namespace superpixels::testing
