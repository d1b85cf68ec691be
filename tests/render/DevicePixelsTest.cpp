#include "render/DevicePixels.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

TEST(DevicePixels, WidthsAreWholePixelsRoundedHalfUpAndNeverLostBelowOne) {
  // Logical width, ratio, device width.
  const std::vector<std::tuple<float, double, float>> cases{
      {1.0f, 1.0, 1.0f},  {1.0f, 2.0, 2.0f}, {3.0f, 2.0, 6.0f}, {1.0f, 1.25, 1.0f},
      {2.0f, 1.25, 3.0f}, {1.0f, 1.5, 2.0f}, {3.0f, 1.5, 5.0f}, {0.3f, 1.0, 1.0f},
      {0.5f, 1.5, 1.0f},  {2.5f, 1.0, 3.0f}, {0.0f, 2.0, 0.0f}, {-1.0f, 2.0, 0.0f},
  };
  for (const auto &[logical, ratio, device] : cases)
    EXPECT_EQ(DeviceLineWidth(logical, ratio), device) << logical << " at " << ratio;
}

TEST(DevicePixels, LengthsRoundAsWindowSizesAndComeBackRoundedUp) {
  // Logical length, ratio, device length, that length back in logical pixels.
  const std::vector<std::tuple<int, double, int, int>> cases{
      {400, 1.0, 400, 400}, {400, 2.0, 800, 400}, {401, 1.5, 602, 402},
      {15, 1.25, 19, 16},   {3, 1.5, 5, 4},       {0, 2.0, 0, 0},
  };
  for (const auto &[logical, ratio, device, back] : cases) {
    EXPECT_EQ(DeviceLength(logical, ratio), device) << logical << " at " << ratio;
    EXPECT_EQ(LogicalCeil(device, ratio), back) << device << " at " << ratio;
  }
  // A device length that is whole logical pixels stays exact.
  EXPECT_EQ(LogicalCeil(30, 1.5), 20);
  EXPECT_EQ(LogicalCeil(35, 1.75), 20);
}

} // namespace
