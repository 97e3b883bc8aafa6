// The Gaussian region model: pooling, removal, the two cost branches and the colour term.

#include <cmath>
#include <random>

#include <Eigen/LU>

#include <gtest/gtest.h>

#include "regions/region_stats.hpp"
#include "regions/segmentation_state.hpp"

namespace superpixels::testing {
namespace {

constexpr double w = initialBalanceWeight;

struct Pixel {
  double x, y, L, a, b;
};

// Pools the pixels one by one, in the given order, into the empty model.
RegionStats absorbAll(const std::vector<Pixel>& pixels) {
  RegionStats model;
  for (const Pixel& p : pixels) model.absorb(makePixel(p.x, p.y, p.L, p.a, p.b));
  return model;
}

// Means and scatters computed directly from the pixels (two passes), as a reference.
RegionStats direct(const std::vector<Pixel>& pixels) {
  RegionStats model;
  model.count = static_cast<double>(pixels.size());
  for (const Pixel& p : pixels) {
    model.meanPosition += Eigen::Vector2d(p.x, p.y) / model.count;
    model.meanColour += Eigen::Vector3d(p.L, p.a, p.b) / model.count;
  }
  for (const Pixel& p : pixels) {
    const Eigen::Vector2d dp = Eigen::Vector2d(p.x, p.y) - model.meanPosition;
    const Eigen::Vector3d dc = Eigen::Vector3d(p.L, p.a, p.b) - model.meanColour;
    model.positionScatter += dp * dp.transpose();
    model.colourScatter += dc * dc.transpose();
  }
  return model;
}

std::vector<Pixel> randomPixels(int n, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<Pixel> pixels;
  for (int i = 0; i < n; ++i) {
    pixels.push_back({double(generator() % 30), double(generator() % 20), double(generator() % 256),
                      double(generator() % 256), double(generator() % 256)});
  }
  return pixels;
}

// Equal counts; means and scatters equal up to a relative tolerance.
void expectNear(const RegionStats& expected, const RegionStats& actual, double tolerance) {
  EXPECT_EQ(expected.count, actual.count);
  EXPECT_TRUE(actual.meanPosition.isApprox(expected.meanPosition, tolerance));
  EXPECT_TRUE(actual.meanColour.isApprox(expected.meanColour, tolerance));
  EXPECT_TRUE(actual.positionScatter.isApprox(expected.positionScatter, tolerance))
      << actual.positionScatter;
  EXPECT_TRUE(actual.colourScatter.isApprox(expected.colourScatter, tolerance))
      << actual.colourScatter;
}

void expectIdentical(const RegionStats& expected, const RegionStats& actual) {
  EXPECT_EQ(expected.count, actual.count);
  EXPECT_EQ(expected.meanPosition, actual.meanPosition);
  EXPECT_EQ(expected.meanColour, actual.meanColour);
  EXPECT_EQ(expected.positionScatter, actual.positionScatter);
  EXPECT_EQ(expected.colourScatter, actual.colourScatter);
}

// One pixel costs nothing; two pixels whose colours differ by d have colour cost |d|^2 / 2.
TEST(RegionStats, OneAndTwoPixels) {
  const RegionStats pixel = makePixel(3, 7, 100, 130, 90);
  EXPECT_EQ(pixel.count, 1.0);
  EXPECT_EQ(pixel.meanPosition, Eigen::Vector2d(3, 7));
  EXPECT_EQ(pixel.meanColour, Eigen::Vector3d(100, 130, 90));
  EXPECT_TRUE(pixel.positionScatter.isZero(0.0) && pixel.colourScatter.isZero(0.0));
  EXPECT_EQ(pixel.cost(w), 0.0);
  EXPECT_EQ(pixel.colourCost(), 0.0);

  const RegionStats pair = absorbAll({{0, 0, 10, 20, 30}, {5, 9, 13, 16, 30}});
  EXPECT_EQ(pair.colourCost(), (9.0 + 16.0) / 2);
  EXPECT_EQ(pair.cost(w), 12.5 + (12.5 + 40.5));
}

// Below 8 pixels the cost is the plain trace of both scatters, whatever the weight; from 8 pixels
// on it is the weighted spatial trace plus the cube root of the colour determinant.
TEST(RegionStats, SevenAndEightPixelBranches) {
  std::vector<Pixel> pixels;
  for (int x = 0; x < 8; ++x) pixels.push_back({double(x), 0, double(10 * (x % 3)), 128, 128});
  const std::vector<Pixel> seven(pixels.begin(), pixels.begin() + 7);

  const RegionStats small = absorbAll(seven);
  const double colourTrace = direct(seven).colourScatter.trace();
  EXPECT_NEAR(small.cost(w), colourTrace + 28.0, 1e-9);  // Sxx of x = 0..6
  EXPECT_EQ(small.cost(w), small.cost(5.0));
  EXPECT_NEAR(small.colourCost(), colourTrace, 1e-9);

  // Colours on a line: the determinant is 0, so eight pixels cost only their weighted spread.
  const RegionStats eight = absorbAll(pixels);
  EXPECT_NEAR(eight.cost(w), w * 42.0, 1e-9);  // Sxx of x = 0..7
  EXPECT_NEAR(eight.colourCost(), 0.0, 1e-4);
  EXPECT_NEAR(eight.cost(2.0), 84.0, 1e-4);

  const std::vector<Pixel> spread = randomPixels(12, 5);
  const RegionStats reference = direct(spread);
  const double det = reference.colourScatter.determinant();
  ASSERT_GT(det, 0.0);
  EXPECT_NEAR(absorbAll(spread).colourCost(), std::cbrt(det), 1e-9 * std::cbrt(det));
  EXPECT_NEAR(absorbAll(spread).cost(0.5), 0.5 * reference.positionScatter.trace() + std::cbrt(det),
              1e-9 * std::cbrt(det));
}

TEST(RegionStats, IdenticalColoursCostOnlyTheirSpread) {
  // Corners of a 2 x 2 square.
  const RegionStats corners =
      absorbAll({{0, 0, 50, 60, 70}, {1, 0, 50, 60, 70}, {0, 1, 50, 60, 70}, {1, 1, 50, 60, 70}});
  EXPECT_EQ(corners.count, 4.0);
  EXPECT_EQ(corners.positionScatter, Eigen::Matrix2d::Identity());
  EXPECT_TRUE(corners.colourScatter.isZero(0.0));
  EXPECT_EQ(corners.cost(w), 2.0);

  // 3 x 3 block, row by row.
  std::vector<Pixel> block;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) block.push_back({double(x), double(y), 90, 140, 200});
  }
  const RegionStats nine = absorbAll(block);
  EXPECT_EQ(nine.count, 9.0);
  EXPECT_EQ(nine.meanPosition, Eigen::Vector2d(1, 1));
  EXPECT_EQ(nine.positionScatter(0, 0), 6.0);
  EXPECT_EQ(nine.positionScatter(1, 1), 6.0);
  EXPECT_NEAR(nine.positionScatter(0, 1), 0.0, 1e-12);
  EXPECT_NEAR(nine.cost(w), 12 * w, 1e-9);  // 2.04
}

// Pooling agrees with statistics computed directly, whichever model absorbs the other.
TEST(RegionStats, AbsorbIsSymmetricUpToRounding) {
  const RegionStats a = absorbAll(randomPixels(13, 1));
  const RegionStats b = absorbAll(randomPixels(40, 2));
  RegionStats ab = a;
  ab.absorb(b);
  RegionStats ba = b;
  ba.absorb(a);
  expectNear(ab, ba, 1e-12);
  std::vector<Pixel> all = randomPixels(13, 1);
  for (const Pixel& p : randomPixels(40, 2)) all.push_back(p);
  expectNear(direct(all), ab, 1e-9);
}

// Pooling into the empty model is bit-exact only for a single pixel; larger models pick up
// rounding in the means (q * (n * m) need not give m back).
TEST(RegionStats, AbsorbingOnePixelIntoEmptyModelIsExact) {
  for (const Pixel& p : randomPixels(20, 9)) {
    RegionStats model;
    const RegionStats pixel = makePixel(p.x, p.y, p.L, p.a, p.b);
    model.absorb(pixel);
    expectIdentical(pixel, model);
  }
}

TEST(RegionStats, ReleaseUndoesAbsorb) {
  const std::vector<Pixel> pixels = randomPixels(25, 3);
  const RegionStats whole = absorbAll(pixels);
  for (const std::size_t i : {0u, 12u, 24u}) {
    const Pixel& p = pixels[i];
    const RegionStats pixel = makePixel(p.x, p.y, p.L, p.a, p.b);
    RegionStats model = whole;
    model.release(pixel);
    std::vector<Pixel> rest = pixels;
    rest.erase(rest.begin() + i);
    expectNear(direct(rest), model, 1e-9);
    model.absorb(pixel);
    expectNear(whole, model, 1e-9);
  }
}

// Two one-colour pixels (0, 0) and (1, 0), released of (1, 0): exactly the pixel (0, 0).
TEST(RegionStats, ReleaseOfTwoPixelRegionIsExact) {
  RegionStats pair = absorbAll({{0, 0, 90, 140, 200}, {1, 0, 90, 140, 200}});
  ASSERT_EQ(pair.meanPosition, Eigen::Vector2d(0.5, 0));
  ASSERT_EQ(pair.positionScatter(0, 0), 0.5);
  pair.release(makePixel(1, 0, 90, 140, 200));
  expectIdentical(makePixel(0, 0, 90, 140, 200), pair);
}

TEST(RegionStats, ReleasingTheLastPixelGivesNaNCost) {
  RegionStats single = makePixel(4, 2, 10, 20, 30);
  single.release(makePixel(4, 2, 10, 20, 30));
  EXPECT_EQ(single.count, 0.0);
  EXPECT_TRUE(std::isnan(single.cost(w)));
}

}  // namespace
}  // namespace superpixels::testing
