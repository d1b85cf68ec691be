#include "render/AxisMap.h"
#include "render/ViewGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr double Top = std::numeric_limits<double>::max();
constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(AxisMap, RangesWithinAFloatStayAsTheyAreOthersLieWithinTwoUnitsOfTheirCentre) {
  for (auto [low, high] : {std::pair{0.0, 100.0},
                           {-80.0, 40.0},
                           {-9.9e29, 9.9e29},
                           {0.0, Inf},
                           {std::nan(""), 1e300}}) {
    const TAxisMap map = TAxisMap::For(low, high);
    EXPECT_FALSE(map.IsRelative()) << low << " " << high;
    // Exactly the value, however far out.
    for (double x : {-80.0, 0.1, 1e308})
      EXPECT_EQ(map(x), x);
  }
  const struct {
    double Low, High, Centre, Unit;
  } cases[] = {{-1e308, 1e308, 0.0, 0x1p1023},      {-Top, Top, 0.0, 0x1p1023},
               {1e300, 201e300, 101e300, 0x1p1003}, {0.0, 1e30, 5e29, 0x1p98},
               {1e300, 1e300, 1e300, 1.0},          {201e300, 1e300, 101e300, 0x1p1003}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.High);
    const TAxisMap map = TAxisMap::For(c.Low, c.High);
    EXPECT_TRUE(map.IsRelative());
    EXPECT_EQ(map.Centre(), c.Centre);
    EXPECT_EQ(map.Unit(), c.Unit);
    EXPECT_EQ(map(c.Centre), 0.0);
    for (double end : {c.Low, c.High}) {
      EXPECT_LE(std::fabs(map(end)), 2.0);
      EXPECT_EQ(map(end), (end - c.Centre) / c.Unit) << "exact";
    }
    EXPECT_EQ(map.DataLength(3.0), 3.0 * c.Unit);
    // Far outside, within reach of a float and pointing the right way.
    EXPECT_LE(map(-Top), map(std::min(c.Low, c.High)));
    EXPECT_GE(map(-Top), -TAxisMap::Reach);
    EXPECT_EQ(map(Inf), TAxisMap::Reach);
    EXPECT_EQ(map(-Inf), -TAxisMap::Reach);
  }
}

// A window wider than a double fits its panel as an ordinary one does.
TEST(AxisMap, AFittedViewHoldsTheWindowInTheSamePixels) {
  const auto pixels = [](const TDataWindow &window) {
    TViewGeometry geometry;
    geometry.Fit(window, {50, 30, 40, 30}, 0, 0, 400, 300);
    for (double extent :
         {geometry.ViewLeft, geometry.ViewRight, geometry.ViewBottom, geometry.ViewTop})
      EXPECT_LT(std::fabs(extent), 1e30);
    const TAxisMap &x = geometry.XMap, &y = geometry.YMap;
    return std::array{geometry.XPixels(x(window.XMax) - x(window.XMin)),
                      geometry.YPixels(y(window.YMax) - y(window.YMin)),
                      geometry.XPixels(x(window.XMin) - geometry.ViewLeft),
                      geometry.YPixels(y(window.YMin) - geometry.ViewBottom)};
  };
  const std::array<int, 4> ordinary = pixels({0.0, 100.0, -80.0, 40.0});
  for (const TDataWindow &window :
       {TDataWindow{0.0, 200e300, -1e308, 1e308}, TDataWindow{-Top, Top, -Top, Top}}) {
    SCOPED_TRACE(window.XMax);
    const std::array<int, 4> far = pixels(window);
    for (std::size_t i = 0; i < far.size(); ++i)
      EXPECT_NEAR(far[i], ordinary[i], 1) << i;
  }
}

} // namespace
