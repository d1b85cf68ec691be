#include "control/ScaleInput.h"
#include "control/PlaybackRules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// A printf format and a parser that, like TryParseFloat, takes "." and ",".
TNumberText Numbers(const char *format) {
  TNumberText numbers;
  numbers.Format = [format](double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return std::string(text);
  };
  numbers.Parse = [](const std::string &text, double &value) {
    std::string dotted = text;
    for (char &c : dotted)
      if (c == ',')
        c = '.';
    char *end = nullptr;
    value = std::strtod(dotted.c_str(), &end);
    return !dotted.empty() && *end == '\0';
  };
  return numbers;
}

TNumberText ThreeDecimals() {
  return Numbers("%0.3f");
}

TEST(ScaleInputTest, VariableScaleEndsAreRoundedToTheShownPrecision) {
  const TNumberText numbers = ThreeDecimals();
  TScaleInput r = CheckVariableMin("0.12345", numbers, 0.0, 1.0);
  EXPECT_EQ(r.Status, TScaleInputStatus::Changed);
  EXPECT_EQ(r.Text, "0.123");
  EXPECT_EQ(r.Value, 0.123);

  r = CheckVariableMax("2,5", numbers, 0.0, 1.0);
  EXPECT_EQ(r.Status, TScaleInputStatus::Changed);
  EXPECT_EQ(r.Text, "2.500");

  // 0.0004 shows as 0.000, which is the current minimum.
  r = CheckVariableMin("0.0004", numbers, 0.0, 1.0);
  EXPECT_EQ(r.Status, TScaleInputStatus::Unchanged);
  EXPECT_EQ(r.Text, "0.000");
}

TEST(ScaleInputTest, VariableScaleMustStayNonEmpty) {
  const TNumberText numbers = ThreeDecimals();
  TScaleInput r = CheckVariableMin("1", numbers, 0.0, 1.0);
  EXPECT_EQ(r.Status, TScaleInputStatus::InvalidValue);
  EXPECT_EQ(r.Text, "1.000");
  // Rounding makes 0.9996 equal to the upper end.
  EXPECT_EQ(CheckVariableMin("0.9996", numbers, 0.0, 1.0).Status, TScaleInputStatus::InvalidValue);
  EXPECT_EQ(CheckVariableMax("0", numbers, 0.0, 1.0).Status, TScaleInputStatus::InvalidValue);
  EXPECT_EQ(CheckVariableMax("-5", numbers, 0.0, 1.0).Status, TScaleInputStatus::InvalidValue);
}

TEST(ScaleInputTest, TextThatIsNoFiniteNumberIsRejectedUntouched) {
  const TNumberText numbers = ThreeDecimals();
  for (const char *text : {"abc", "", "1e999", "nan", "inf"}) {
    SCOPED_TRACE(text);
    const TScaleInput r = CheckVariableMin(text, numbers, 0.0, 1.0);
    EXPECT_EQ(r.Status, TScaleInputStatus::InvalidFormat);
    EXPECT_EQ(r.Text, text);
    EXPECT_EQ(CheckCurrentTime(text, numbers, 0.0, 10.0, 1.0).Status,
              TScaleInputStatus::InvalidFormat);
  }
}

TEST(ScaleInputTest, AScaleWiderThanTheLargestDoubleIsTaken) {
  // The palette spreads its colours over such a scale, so the boxes keep it.
  const TNumberText numbers = Numbers("%g");
  EXPECT_EQ(CheckVariableMin("-1e308", numbers, 0.0, 1e308).Status, TScaleInputStatus::Changed);
  EXPECT_EQ(CheckVariableMax("1e308", numbers, -1e308, 0.0).Status, TScaleInputStatus::Changed);
  const double inf = std::numeric_limits<double>::infinity();
  const TScaleRange range = InitialVariableScale(-inf, inf, numbers);
  EXPECT_EQ(numbers.Format(range.Min), "-1.79769e+308");
  EXPECT_EQ(numbers.Format(range.Max), "1.79769e+308");
  EXPECT_EQ(InitialVariableScale(-1e308, 1e308, numbers).Max, 1e308);
}

TEST(ScaleInputTest, AFlatDataRangeIsWidenedToAShownWidth) {
  const struct {
    const char *Format;
    double DataMin, DataMax;
    double Min, Max;
  } cases[] = {
      {"%0.3f", -65.0, -65.0, -65.001, -64.999},
      {"%0.3f", 0.0, 0.0, -0.001, 0.001},
      // Different values that show alike have no width either.
      {"%0.3f", 0.0001, 0.0002, -0.0009, 0.0011},
      {"%0.1f", 1e6, 1e6, 999999.9, 1000000.1},
      {"%g", 5.0, 5.0, 4.99999, 5.00001},
      {"%0.0f", 1e20, 1e20, 1e20 - 16384.0, 1e20 + 16384.0},
      // A flat range at the largest double widens downwards only.
      {"%g", std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
       1.79768e308, 1.79769e308},
      // A range with width is taken as shown.
      {"%0.3f", -70.12345, 20.0, -70.123, 20.0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.Format) + " " + std::to_string(c.DataMin));
    const TNumberText numbers = Numbers(c.Format);
    const TScaleRange range = InitialVariableScale(c.DataMin, c.DataMax, numbers);
    EXPECT_LT(range.Min, range.Max);
    EXPECT_EQ(numbers.Format(range.Min), numbers.Format(c.Min));
    EXPECT_EQ(numbers.Format(range.Max), numbers.Format(c.Max));
  }
}

TEST(ScaleInputTest, TimeScaleEndsAreLimitedToTheFrames) {
  const TNumberText numbers = ThreeDecimals();
  TScaleInput r = CheckTimeMin("-3", numbers, 0.0, 0.5, 10.0);
  EXPECT_EQ(r.Status, TScaleInputStatus::Changed);
  EXPECT_EQ(r.Value, 0.0);
  EXPECT_EQ(CheckTimeMin("-3", numbers, 0.0, 0.0, 10.0).Status, TScaleInputStatus::Unchanged);
  EXPECT_EQ(CheckTimeMin("10.5", numbers, 0.0, 0.0, 10.0).Status, TScaleInputStatus::InvalidValue);
  // Start and end may meet.
  EXPECT_EQ(CheckTimeMin("10", numbers, 0.0, 0.0, 10.0).Status, TScaleInputStatus::Changed);

  r = CheckTimeMax("12", numbers, 10.0, 0.0, 8.0);
  EXPECT_EQ(r.Status, TScaleInputStatus::Changed);
  EXPECT_EQ(r.Value, 10.0);
  EXPECT_EQ(r.Text, "10.000");
  EXPECT_EQ(CheckTimeMax("1.9", numbers, 10.0, 2.0, 8.0).Status, TScaleInputStatus::InvalidValue);
}

TEST(ScaleInputTest, CurrentTimeIsClampedToTheTimeScale) {
  const TNumberText numbers = ThreeDecimals();
  TScaleInput r = CheckCurrentTime("9", numbers, 2.0, 8.0, 2.0);
  EXPECT_EQ(r.Status, TScaleInputStatus::Changed);
  EXPECT_EQ(r.Value, 8.0);
  r = CheckCurrentTime("4,3", numbers, 2.0, 8.0, 2.0);
  EXPECT_EQ(r.Value, 4.3);
  EXPECT_EQ(CheckCurrentTime("1", numbers, 2.0, 8.0, 2.0).Status, TScaleInputStatus::Unchanged);
  // A scale end that shows rounded lies outside the scale once read back.
  EXPECT_EQ(CheckCurrentTime("0", numbers, 0.0004, 8.0, 1.0).Status,
            TScaleInputStatus::InvalidValue);
}

TEST(ScaleInputTest, SnapRoundsToFiveDecimalsHalvesToEven) {
  EXPECT_DOUBLE_EQ(SnapTime(2.0000049), 2.0);
  EXPECT_DOUBLE_EQ(SnapTime(0.123456), 0.12346);
  EXPECT_DOUBLE_EQ(SnapTime(-1.0), -1.0);
  // These quotients are exact halves: each goes to the even neighbour.
  EXPECT_DOUBLE_EQ(SnapTime(0.000025), 0.00002);
  EXPECT_DOUBLE_EQ(SnapTime(0.000015), 0.00002);
  EXPECT_DOUBLE_EQ(SnapTime(1.000005), 1.0);
}

TEST(PlaybackRulesTest, IntegerConversion) {
  EXPECT_EQ(ParseInteger("42"), 42);
  EXPECT_EQ(ParseInteger("  -1"), -1);
  EXPECT_EQ(ParseInteger("+7"), 7);
  EXPECT_EQ(ParseInteger("$1F"), 31);
  EXPECT_EQ(ParseInteger("0x10"), 16);
  EXPECT_EQ(ParseInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseInteger("2147483647"), INT32_MAX);
  EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
  for (const char *text : {"", "x", "1x", "12 ", "2147483648", "$", "0x", "1.5", "$100000000", "-"})
    EXPECT_FALSE(ParseInteger(text).has_value()) << text;
  EXPECT_EQ(InvalidIntegerMessage("x"), "'x' is not a valid integer value");
}

TEST(PlaybackRulesTest, UnsignedClampAndTimerInterval) {
  EXPECT_EQ(ClampUnsigned(-1, 0, 100), 100u);
  EXPECT_EQ(ClampUnsigned(5, 10, 100), 10u);
  EXPECT_EQ(ClampUnsigned(50, 10, 100), 50u);
  EXPECT_EQ(ClampUnsigned(1000, 10, 100), 100u);
  EXPECT_EQ(TimerInterval(0), 1);
  EXPECT_EQ(TimerInterval(250), 250);
  EXPECT_EQ(TimerInterval(UINT32_MAX), INT32_MAX);
}

TEST(PlaybackRulesTest, ViewReadiness) {
  EXPECT_TRUE(IsViewReady(2.00005, 2.0, 2.0, 0.0001));
  EXPECT_FALSE(IsViewReady(1.0, 2.0, 2.0, 0.0001));
  EXPECT_FALSE(IsViewReady(-1.0, 0.0, 0.0, 0.0001));
  // Shown as 0.1 with one decimal, the frame itself at 0.05: drawn counts.
  EXPECT_TRUE(IsViewReady(0.05, 0.1, 0.05, 0.0001));
  EXPECT_FALSE(IsViewReady(0.0, 0.1, 0.05, 0.0001));
}

} // namespace
