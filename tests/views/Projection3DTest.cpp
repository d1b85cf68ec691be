#include "views/Projection3D.h"

#include "views/ModelTransform3D.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct TFitCase {
  TModelBounds Bounds;
  int Width;
  int Height;
  double PixelsPerUnit;
};

TEST(FitModelView, TheLargerExtentFillsTheSmallerPanelSideCentredOnTheBox) {
  const TFitCase cases[] = {
      {{0, 200, 0, 100, 0, 0}, 400, 300, 1.5},
      {{-50, 150, 20, 120, -5, 5}, 400, 300, 1.5},
      {{0, 100, 0, 200, 0, 0}, 300, 400, 1.5},
      {{0, 60, -40, 40, 0, 0}, 100, 500, 1.25},
      // Square fits that would leave less than the margin shrink to keep it.
      {{0, 100, 0, 200, 0, 0}, 400, 300, 1.4},
      {{10, 110, 10, 110, 0, 0}, 500, 500, 4.8},
  };
  for (const TFitCase &c : cases) {
    TViewGeometry geometry;
    FitModelView(geometry, c.Bounds, 0, 0, c.Width, c.Height, 10, 0.0);
    SCOPED_TRACE(testing::Message() << c.Width << " x " << c.Height << " from " << c.Bounds.MinX);
    EXPECT_NEAR(c.Width / (geometry.ViewRight - geometry.ViewLeft), c.PixelsPerUnit, 1e-9);
    EXPECT_NEAR(c.Height / (geometry.ViewTop - geometry.ViewBottom), c.PixelsPerUnit, 1e-9);
    EXPECT_NEAR((geometry.ViewLeft + geometry.ViewRight) / 2, (c.Bounds.MinX + c.Bounds.MaxX) / 2,
                1e-9);
    EXPECT_NEAR((geometry.ViewBottom + geometry.ViewTop) / 2, (c.Bounds.MinY + c.Bounds.MaxY) / 2,
                1e-9);
  }
}

TEST(FitModelView, TheModelStaysAtLeastTheMarginInsideEveryEdge) {
  const TModelBounds boxes[] = {
      {0, 200, 0, 100, 0, 0}, {0, 100, 0, 200, 0, 0}, {-3, 3, -1, 1, 0, 0}, {5, 5, 0, 80, 0, 0}};
  const std::pair<int, int> panels[] = {{400, 300}, {300, 400}, {21, 23}, {640, 40}, {30, 900}};
  for (const TModelBounds &box : boxes)
    for (const auto &[width, height] : panels) {
      TViewGeometry geometry;
      FitModelView(geometry, box, 7, 9, width, height, 10, 0.0);
      SCOPED_TRACE(testing::Message() << width << " x " << height << " box " << box.MaxX);
      const double xScale = width / (geometry.ViewRight - geometry.ViewLeft);
      const double yScale = height / (geometry.ViewTop - geometry.ViewBottom);
      EXPECT_GE((box.MinX - geometry.ViewLeft) * xScale, 10 - 1e-6);
      EXPECT_GE((geometry.ViewRight - box.MaxX) * xScale, 10 - 1e-6);
      EXPECT_GE((box.MinY - geometry.ViewBottom) * yScale, 10 - 1e-6);
      EXPECT_GE((geometry.ViewTop - box.MaxY) * yScale, 10 - 1e-6);
      EXPECT_EQ(geometry.PanelLeft, 7);
      EXPECT_EQ(geometry.PanelBottom, 9 + height);
    }
}

TEST(FitModelView, AModelWithoutXAndYExtentGetsAFiniteSquareAboutIt) {
  // One point, and a line along z; emptyExtent 0 still gives a view.
  for (const double extent : {40.0, 0.0}) {
    TViewGeometry geometry;
    FitModelView(geometry, {5, 5, -7, -7, 0, 40}, 0, 0, 400, 400, 10, extent);
    const double side = extent > 0 ? extent : 1.0;
    EXPECT_TRUE(std::isfinite(geometry.ViewLeft) && std::isfinite(geometry.ViewTop));
    EXPECT_NEAR(geometry.ViewRight - geometry.ViewLeft, side * 400.0 / 380.0, side * 0.01);
    EXPECT_NEAR((geometry.ViewLeft + geometry.ViewRight) / 2, 5.0, 1e-9);
    EXPECT_NEAR((geometry.ViewBottom + geometry.ViewTop) / 2, -7.0, 1e-9);
  }
}

TEST(FitModelView, APanelWithoutWidthOrHeightKeepsTheViewExtents) {
  for (const auto &[width, height] : {std::pair{0, 300}, std::pair{400, 0}, std::pair{-1, -1}}) {
    TViewGeometry geometry(TDataWindow{-990, 990, -990, 990});
    FitModelView(geometry, {0, 200, 0, 100, 0, 0}, 0, 0, width, height, 10, 0.0);
    EXPECT_EQ(geometry.ViewLeft, -1000.0);
    EXPECT_EQ(geometry.ViewTop, 1000.0);
    EXPECT_EQ(geometry.PanelRight, width);
  }
}

// Eye z of every corner of the box after the transformation lies inside the
// planes, for models on either side of the origin or far from it.
TEST(ModelDepthRange, HoldsTheWholeTurnedModelAndTheScreenPlane) {
  const TModelBounds boxes[] = {{100, 200, 100, 300, 50, 400},
                                {-400, -300, -20, -10, -900, -800},
                                {-5, 5, -5, 5, -5, 5},
                                {1000, 1000, 0, 0, 0, 0}};
  const std::array<double, 3> angles[] = {{0, 0, 0}, {90, 0, 0}, {35, -70, 10}, {180, 45, 270}};
  for (const TModelBounds &box : boxes)
    for (const auto &angle : angles)
      for (const double scale : {0.1, 1.0, 7.5}) {
        TModelTransform3D transform;
        transform.SetRotation(angle[0], angle[1], angle[2]);
        transform.SetScale(scale, scale, scale);
        transform.SetTranslation(-3000, 4000);
        const TDepthRange depth = ModelDepthRange(box, scale, 0.0);
        ASSERT_LT(depth.Near, 0.0);
        ASSERT_GT(depth.Far, 0.0);
        for (const double x : {box.MinX, box.MaxX})
          for (const double y : {box.MinY, box.MaxY})
            for (const double z : {box.MinZ, box.MaxZ}) {
              const double eyeZ = Transform(transform.Matrix(), x, y, z)[2];
              EXPECT_LT(-depth.Far, eyeZ);
              EXPECT_LT(eyeZ, -depth.Near);
            }
      }
  // Axes longer than the model reach.
  EXPECT_GT(ModelDepthRange({0, 1, 0, 1, 0, 1}, 1.0, 500.0).Far, 500.0);
}

TEST(ModelFrame, OnlyModelsBeyondAFloatAreDrawnRelativeToTheirBox) {
  const double top = std::numeric_limits<double>::max();
  struct Case {
    TModelBounds Bounds;
    bool Relative;
    double CentreX, Unit;
  };
  for (const Case &c : {Case{{-100, 200, 0, 50, -5, 5}, false, 0.0, 1.0},
                        Case{{-1e29, 1e29, 0, 0, 0, 0}, false, 0.0, 1.0},
                        Case{{1e300, 201e300, 0, 1e302, 0, 0}, true, 101e300, 0x1p1003},
                        Case{{-top, top, -top, top, 0, 0}, true, 0.0, 0x1p1023},
                        Case{{1e300, 1e300, 2e300, 2e300, 0, 0}, true, 1e300, 1.0}}) {
    SCOPED_TRACE(c.Bounds.MaxX);
    const TModelFrame frame = ModelFrame(c.Bounds);
    EXPECT_EQ(frame.Relative, c.Relative);
    EXPECT_DOUBLE_EQ(frame.CentreX, c.CentreX);
    EXPECT_EQ(frame.Unit, c.Unit);
    // The box in the frame's units fits a float with room for any turn.
    for (double x : {c.Bounds.MinX, c.Bounds.MaxX})
      EXPECT_LE(std::fabs(x - frame.CentreX) / frame.Unit, 2.0 * (c.Relative ? 1.0 : 1e30));
    for (double y : {c.Bounds.MinY, c.Bounds.MaxY})
      EXPECT_LE(std::fabs(y - frame.CentreY) / frame.Unit, 2.0 * (c.Relative ? 1.0 : 1e30));
  }
}

} // namespace
