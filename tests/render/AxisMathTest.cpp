#include "render/AxisMath.h"
#include "render/ViewGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

TEST(NiceStep, RoundsToOneTwoFiveAndFifteenBelowOne) {
  EXPECT_DOUBLE_EQ(NiceStep(37.2), 50.0);
  EXPECT_DOUBLE_EQ(NiceStep(160.0), 100.0);
  EXPECT_DOUBLE_EQ(NiceStep(2.5), 2.0); // half to even
  EXPECT_DOUBLE_EQ(NiceStep(3.5), 5.0); // half to even gives 4, which goes up to 5
  EXPECT_DOUBLE_EQ(NiceStep(0.023), 0.02);
  EXPECT_DOUBLE_EQ(NiceStep(0.0096), 0.015);
  EXPECT_DOUBLE_EQ(NiceStep(0.45), 0.5);
  EXPECT_DOUBLE_EQ(NiceStep(1.0), 1.0);
  EXPECT_DOUBLE_EQ(NiceStep(7.0), 10.0);
  EXPECT_DOUBLE_EQ(NiceStep(9.7), 10.0);
  EXPECT_DOUBLE_EQ(NiceStep(95.0), 100.0);
  EXPECT_DOUBLE_EQ(NiceStep(1234.0), 1000.0);
}

TEST(NiceStep, ARangeOfNothingGivesNoStepInsteadOfLoopingForever) {
  EXPECT_EQ(NiceStep(0.0), 0.0);
  EXPECT_EQ(NiceStep(-3.0), 0.0);
  EXPECT_EQ(NiceStep(std::numeric_limits<double>::quiet_NaN()), 0.0);
  EXPECT_EQ(NiceStep(std::numeric_limits<double>::infinity()), 0.0);
  EXPECT_EQ(AxisStep(5.0, 5.0, 300, 30), 0.0);
  EXPECT_TRUE(TickPositions(0.0, 0.0, -1.0, 1.0).empty());
}

TEST(NiceStep, StepsBeyondEveryIntegerTypeStayNice) {
  EXPECT_DOUBLE_EQ(NiceStep(3.7e29), 5e29);
  EXPECT_DOUBLE_EQ(NiceStep(1.2e19), 1e19);
  EXPECT_DOUBLE_EQ(NiceStep(std::numeric_limits<double>::max()), 1e308);
  EXPECT_DOUBLE_EQ(NiceStep(9e307), 1e308);
}

TEST(AxisStep, DividesTheRangeByTheLabelsThatFit) {
  // 250 pixels, 32 per label: 7 labels, 120 / 7 = 17.1 -> 10.
  EXPECT_DOUBLE_EQ(AxisStep(-80.0, 40.0, 250, 32), 10.0);
  // Fewer pixels, fewer labels: 2 labels, 60 -> 100.
  EXPECT_DOUBLE_EQ(AxisStep(-80.0, 40.0, 64, 32), 100.0);
  // Not even one label fits: the whole range is the raw step.
  EXPECT_DOUBLE_EQ(AxisStep(0.0, 0.3, 10, 32), 0.5);
  // Reversed bounds count by their distance.
  EXPECT_DOUBLE_EQ(AxisStep(40.0, -80.0, 250, 32), 10.0);
}

TEST(TickPositions, MultiplesOfTheStepFromTheStartWithinTheRange) {
  EXPECT_EQ(TickPositions(0.0, 10.0, -25.0, 22.0), (std::vector<double>{-20, -10, 0, 10, 20}));
  EXPECT_EQ(TickPositions(0.0, 10.0, 10.0, 50.0), (std::vector<double>{10, 20, 30, 40, 50}));
  // Time ticks start at the time minimum, not at a multiple of the step.
  EXPECT_EQ(TickPositions(3.0, 10.0, 3.0, 97.0),
            (std::vector<double>{3, 13, 23, 33, 43, 53, 63, 73, 83, 93}));
  // A range far from the start costs only its own ticks.
  const std::vector<double> far = TickPositions(0.0, 1.0, 1e12, 1e12 + 3);
  EXPECT_EQ(far.size(), 4u);
}

TEST(ViewGeometry, FitsMarginsAndConvertsPixels) {
  TViewGeometry geometry({0.0, 100.0, -80.0, 40.0});
  EXPECT_DOUBLE_EQ(geometry.ViewLeft, -10.0);
  EXPECT_DOUBLE_EQ(geometry.ViewTop, 50.0);
  EXPECT_EQ(geometry.PanelRight, 640);
  EXPECT_EQ(geometry.PanelBottom, 480);

  geometry.Fit({0.0, 100.0, -80.0, 40.0}, {50, 30, 30, 30}, 0, 0, 400, 300);
  EXPECT_DOUBLE_EQ(geometry.ViewLeft, -12.5);
  EXPECT_DOUBLE_EQ(geometry.ViewRight, 107.5);
  EXPECT_DOUBLE_EQ(geometry.ViewBottom, -92.0);
  EXPECT_DOUBLE_EQ(geometry.ViewTop, 52.0);
  // 120 units over 400 pixels; 144 units over 300 pixels.
  EXPECT_DOUBLE_EQ(geometry.XUnits(10), 3.0);
  EXPECT_DOUBLE_EQ(geometry.YUnits(25), 12.0);
  EXPECT_EQ(geometry.XPixels(100.0), 333); // 333.33 truncated
  EXPECT_EQ(geometry.YPixels(-120.0), -250);
  EXPECT_EQ(geometry.YPixels(119.9), 249); // truncated toward zero
}

TEST(ViewGeometry, APanelWithoutSizeKeepsItsExtents) {
  TViewGeometry geometry;
  geometry.Fit({0.0, 100.0, 0.0, 10.0}, {}, 0, 0, 400, 300);
  const TViewGeometry before = geometry;
  geometry.Fit({0.0, 50.0, 0.0, 20.0}, {}, 0, 0, 200, 0);
  EXPECT_DOUBLE_EQ(geometry.ViewRight, 50.0 + 50.0 * 30 / 200);
  EXPECT_DOUBLE_EQ(geometry.ViewBottom, before.ViewBottom);
  EXPECT_DOUBLE_EQ(geometry.ViewTop, before.ViewTop);
  // With no height a pixel counts as the whole view height.
  EXPECT_DOUBLE_EQ(geometry.YUnits(2), 2 * (before.ViewTop - before.ViewBottom));

  geometry.Fit({0.0, 10.0, 0.0, 20.0}, {}, 0, 0, 0, 100);
  EXPECT_DOUBLE_EQ(geometry.ViewRight, 50.0 + 50.0 * 30 / 200);
  EXPECT_EQ(geometry.XUnits(5), 0.0);
}

// Every character 6 pixels wide, lines 12 pixels high.
int FixedWidth(const std::string &text) {
  return 6 * static_cast<int>(text.size());
}

TAxesLayout Layout(const TDataWindow &window, int width = 400, int height = 300) {
  TViewGeometry geometry;
  geometry.Fit(window, {50, 30, 30, 30}, 0, 0, width, height);
  TAxesRequest request;
  request.Window = window;
  return LayoutAxes(request, geometry, FixedWidth, 12);
}

std::vector<std::string> Texts(const std::vector<TAxisLabel> &labels) {
  std::vector<std::string> texts;
  for (const TAxisLabel &label : labels)
    texts.push_back(label.Text);
  return texts;
}

TEST(LayoutAxes, AxesCrossAtZeroOrAtTheRangeMinimum) {
  const TAxesLayout spanning = Layout({0.0, 100.0, -80.0, 40.0});
  EXPECT_DOUBLE_EQ(spanning.XAxis.Y1, 0.0);
  EXPECT_DOUBLE_EQ(spanning.XAxis.Y2, 0.0);
  EXPECT_DOUBLE_EQ(spanning.XAxis.X1, 0.0);
  EXPECT_DOUBLE_EQ(spanning.XAxis.X2, 100.0);
  EXPECT_DOUBLE_EQ(spanning.YAxis.X1, 0.0);
  EXPECT_DOUBLE_EQ(spanning.YAxis.Y1, -80.0);
  EXPECT_DOUBLE_EQ(spanning.YAxis.Y2, 40.0);

  const TAxesLayout positive = Layout({0.0, 100.0, 10.0, 50.0});
  EXPECT_DOUBLE_EQ(positive.XAxis.Y1, 10.0);
  const TAxesLayout negative = Layout({0.0, 100.0, -50.0, -10.0});
  EXPECT_DOUBLE_EQ(negative.XAxis.Y1, -50.0);
  const TAxesLayout shifted = Layout({20.0, 80.0, -1.0, 1.0});
  EXPECT_DOUBLE_EQ(shifted.YAxis.X1, 20.0);
}

TEST(LayoutAxes, TicksAndLabelsFollowTheStep) {
  const TAxesLayout layout = Layout({0.0, 100.0, -80.0, 40.0});
  EXPECT_DOUBLE_EQ(layout.XStep, 10.0);
  EXPECT_EQ(Texts(layout.XLabels), (std::vector<std::string>{"0", "10", "20", "30", "40", "50",
                                                             "60", "70", "80", "90", "100"}));
  EXPECT_DOUBLE_EQ(layout.YStep, 10.0);
  EXPECT_EQ(layout.YLabels.front().Text, "-80");
  EXPECT_EQ(layout.YLabels.back().Text, "40");
  EXPECT_EQ(layout.YTicks.size(), 13u);
  const std::vector<std::string> values = Texts(layout.YLabels);
  EXPECT_EQ(std::count(values.begin(), values.end(), "0"), 1);

  // A step below 1 labels with three decimals, a step of 1 or more without.
  const TAxesLayout fine = Layout({0.0, 100.0, 0.0, 2.0});
  EXPECT_DOUBLE_EQ(fine.YStep, 0.5);
  EXPECT_EQ(Texts(fine.YLabels),
            (std::vector<std::string>{"0.000", "0.500", "1.000", "1.500", "2.000"}));
  const TAxesLayout five = Layout({0.0, 100.0, 0.0, 20.0});
  EXPECT_DOUBLE_EQ(five.YStep, 5.0);
  EXPECT_EQ(Texts(five.YLabels), (std::vector<std::string>{"0", "5", "10", "15", "20"}));

  // A larger panel fits more labels.
  EXPECT_LT(Layout({0.0, 100.0, -80.0, 40.0}, 1600, 1200).XStep, layout.XStep);
}

TEST(LayoutAxes, LabelsSitUnderAndLeftOfTheirTicks) {
  TViewGeometry geometry;
  const TDataWindow window{0.0, 100.0, -80.0, 40.0};
  geometry.Fit(window, {50, 30, 30, 30}, 0, 0, 400, 300);
  TAxesRequest request;
  request.Window = window;
  const TAxesLayout layout = LayoutAxes(request, geometry, FixedWidth, 12);

  // "50" is 12 pixels wide, centred on its tick; its baseline lies the width
  // of "0" plus the gap below the axis.
  const TAxisLabel &fifty = layout.XLabels[5];
  ASSERT_EQ(fifty.Text, "50");
  EXPECT_DOUBLE_EQ(fifty.X, 50.0 - geometry.XUnits(12) / 2);
  EXPECT_DOUBLE_EQ(fifty.Y, 0.0 - geometry.YUnits(6 + 5));
  EXPECT_DOUBLE_EQ(layout.XTicks[5].Y2, geometry.YUnits(5));

  // "-80" ends the gap left of the axis, vertically centred on its tick.
  const TAxisLabel &bottom = layout.YLabels.front();
  EXPECT_DOUBLE_EQ(bottom.X, 0.0 - geometry.XUnits(18 + 5));
  EXPECT_DOUBLE_EQ(bottom.Y, -80.0 - geometry.YUnits(6) / 2);
  EXPECT_DOUBLE_EQ(layout.YTicks.front().X2, geometry.XUnits(5));
}

TEST(LayoutAxes, HugeAndOverflowingRangesGetTicks) {
  const double top = std::numeric_limits<double>::max();
  for (const TDataWindow &window :
       {TDataWindow{0.0, 1e30, -80.0, 40.0}, TDataWindow{0.0, 100.0, -1e308, 1e308},
        TDataWindow{0.0, 100.0, -top, top}, TDataWindow{-top, top, 0.0, 1.0}}) {
    SCOPED_TRACE(window.XMax);
    const TAxesLayout layout = Layout(window);
    EXPECT_GE(layout.XTicks.size(), 1u);
    EXPECT_GE(layout.YTicks.size(), 2u);
    for (const TAxisLabel &label : layout.XLabels)
      EXPECT_LE(label.Text.size(), 12u) << label.Text;
    for (const TAxisLabel &label : layout.YLabels)
      EXPECT_LE(label.Text.size(), 12u) << label.Text;
    // Drawable: every coordinate within what a float holds.
    for (const TAxisLine &line : layout.XTicks)
      EXPECT_LT(std::fabs(line.X1) + std::fabs(line.Y2), 1e30);
    for (const TAxisLabel &label : layout.YLabels)
      EXPECT_LT(std::fabs(label.X) + std::fabs(label.Y), 1e30);
    EXPECT_LT(std::fabs(layout.YAxis.Y1) + std::fabs(layout.XAxis.X2), 1e30);
  }
  EXPECT_GE(Layout({0.0, 1e30, -80.0, 40.0}).XTicks.size(), 5u);
  EXPECT_EQ(Texts(Layout({0.0, 100.0, -1e308, 1e308}).YLabels),
            (std::vector<std::string>{"-1e+308", "-8e+307", "-6e+307", "-4e+307", "-2e+307", "0",
                                      "2e+307", "4e+307", "6e+307", "8e+307", "1e+308"}));
}

TEST(AxisText, NumbersAsTheMarginsMeasureThem) {
  EXPECT_EQ(GeneralNumberText(-80.0), "-80");
  EXPECT_EQ(GeneralNumberText(0.001), "0.001");
  EXPECT_EQ(GeneralNumberText(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(FormatNumber("%.3f", 0.5), "0.500");
  EXPECT_EQ(FormatNumber("%.0f", 1e30), "1e+30");
}

} // namespace
