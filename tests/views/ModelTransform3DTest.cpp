#include "views/ModelTransform3D.h"

#include <gtest/gtest.h>

namespace {

TEST(ZoomedScale, NeverFallsBelowTheStep) {
  struct TCase {
    double Step;
    int Presses;
    double Expected;
  };
  for (const TCase &c : {TCase{-0.1, 12, 0.1}, TCase{-0.1, 9, 0.1}, TCase{-0.01, 200, 0.01},
                         TCase{-0.01, 50, 0.5}, TCase{0.1, 20, 3.0}}) {
    double scale = 1.0;
    for (int i = 0; i < c.Presses; ++i)
      scale = ZoomedScale(scale, c.Step);
    EXPECT_NEAR(scale, c.Expected, 1e-9) << c.Presses << " x " << c.Step;
  }
  // The coarse step from below the fine floor goes up to the coarse step.
  EXPECT_DOUBLE_EQ(ZoomedScale(0.01, -0.1), 0.1);
  EXPECT_DOUBLE_EQ(ZoomedScale(0.01, 0.1), 0.11);
}

// A point is scaled, turned about X, then Y, then Z, and moved last.
TEST(ModelTransform3D, ScalesThenTurnsAboutXYZThenTranslates) {
  struct TCase {
    std::array<double, 3> Rotation;
    double Scale;
    std::array<double, 2> Translation;
    std::array<double, 3> Point;
    std::array<double, 3> Expected;
  };
  const TCase cases[] = {
      // Translation outside the scale and after the turn.
      {{0, 0, 90}, 2.0, {10, 5}, {1, 0, 0}, {10, 7, 0}},
      {{0, 0, 0}, 3.0, {-4, 4}, {1, 1, 1}, {-1, 7, 3}},
      // X first: y goes to z, which Z leaves; Z first would give (-1, 0, 0).
      {{90, 0, 90}, 1.0, {0, 0}, {0, 1, 0}, {0, 0, 1}},
      // X then Y: y to z, then z to x.
      {{90, 90, 0}, 1.0, {0, 0}, {0, 1, 0}, {1, 0, 0}},
      // Counter-clockwise seen from the positive end of the axis.
      {{0, 90, 0}, 1.0, {0, 0}, {0, 0, 1}, {1, 0, 0}},
      {{-90, 0, 0}, 1.0, {0, 0}, {0, 1, 0}, {0, 0, -1}},
  };
  for (const TCase &c : cases) {
    TModelTransform3D transform;
    transform.SetRotation(c.Rotation[0], c.Rotation[1], c.Rotation[2]);
    transform.SetScale(c.Scale, c.Scale, c.Scale);
    transform.SetTranslation(c.Translation[0], c.Translation[1]);
    const std::array<double, 3> p =
        Transform(transform.Matrix(), c.Point[0], c.Point[1], c.Point[2]);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(p[i], c.Expected[i], 1e-12) << "case " << (&c - cases) << " coordinate " << i;
  }
}

} // namespace
