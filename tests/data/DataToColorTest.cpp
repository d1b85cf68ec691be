#include "data/DataToColor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const TColor3f Black{0.0f, 0.0f, 0.0f};
const TColor3f Purple{150.0f / 255.0f, 0.0f, 150.0f / 255.0f};
const TColor3f Blue{0.0f, 0.0f, 1.0f};
const TColor3f Green{0.0f, 230.0f / 255.0f, 0.0f};
const TColor3f Ochre{214.0f / 255.0f, 167.0f / 255.0f, 57.0f / 255.0f};
const TColor3f Red{1.0f, 0.0f, 0.0f};
const TColor3f White{1.0f, 1.0f, 1.0f};

TColor3f Map(const TDataToColor &palette, double value) {
  TColor3f color{-1.0f, -1.0f, -1.0f};
  palette.MapValues(&value, color.data(), 1);
  return color;
}

class PaletteFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("dendrovia-palette-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string Write(const std::string &text) {
    const fs::path path = Dir / "palette.ncm";
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  fs::path Dir;
};

} // namespace

TEST(DataToColorTest, DefaultPaletteBinsAtEachEdge) {
  TDataToColor palette;
  ASSERT_EQ(palette.GetColorCount(), 6);
  EXPECT_EQ(palette.GetMinValue(), 0.0);
  EXPECT_EQ(palette.GetMaxValue(), 100.0);
  EXPECT_EQ(palette.GetRange(), 100.0);

  EXPECT_EQ(Map(palette, -5.0), Black);
  EXPECT_EQ(Map(palette, 0.0), Black);
  EXPECT_EQ(Map(palette, 19.9), Black);
  EXPECT_EQ(Map(palette, 20.0), Purple);
  EXPECT_EQ(Map(palette, 39.999), Purple);
  EXPECT_EQ(Map(palette, 40.0), Blue);
  EXPECT_EQ(Map(palette, 60.0), Green);
  EXPECT_EQ(Map(palette, 80.0), Ochre);
  EXPECT_EQ(Map(palette, 99.9), Ochre);
  EXPECT_EQ(Map(palette, 100.0), Red);
  EXPECT_EQ(Map(palette, 150.0), Red);

  const double expected[] = {0, 20, 40, 60, 80, 100};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(palette.GetColorValue(i), expected[i]) << i;
}

TEST(DataToColorTest, MapsManyValuesInOrderAndSurvivesNonFiniteValues) {
  TDataToColor palette;
  palette.SetRange(-80.0, 40.0);
  const double values[] = {-100.0,
                           -56.0,
                           40.0,
                           std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           1e308};
  float colors[3 * 7];
  palette.MapValues(values, colors, 7);
  const TColor3f expected[] = {Black, Purple, Red, Black, Red, Black, Red};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ((TColor3f{colors[3 * i], colors[3 * i + 1], colors[3 * i + 2]}), expected[i]) << i;
}

TEST(DataToColorTest, MapsLongRunsLikeSingleValues) {
  TDataToColor palette;
  palette.SetRange(-1.0, 1.0);
  // Longer than one block of the mapping, with a partial block at the end.
  std::vector<double> values(601);
  for (size_t i = 0; i < values.size(); ++i)
    values[i] = std::sin(0.05 * static_cast<double>(i)) * 1.2;
  std::vector<float> colors(3 * values.size(), -1.0f);
  palette.MapValues(values.data(), colors.data(), static_cast<int>(values.size()));
  for (size_t i = 0; i < values.size(); ++i)
    ASSERT_EQ((TColor3f{colors[3 * i], colors[3 * i + 1], colors[3 * i + 2]}),
              Map(palette, values[i]))
        << i;
}

TEST(DataToColorTest, SetRangeIgnoresEmptyAndReversedRanges) {
  const double inf = std::numeric_limits<double>::infinity();
  TDataToColor palette;
  palette.SetRange(-70.0, 30.0);
  palette.SetRange(5.0, 5.0);
  palette.SetRange(6.0, 5.0);
  palette.SetRange(std::numeric_limits<double>::quiet_NaN(), 5.0);
  palette.SetRange(inf, inf);
  EXPECT_EQ(palette.GetMinValue(), -70.0);
  EXPECT_EQ(palette.GetMaxValue(), 30.0);
  EXPECT_EQ(palette.GetRange(), 100.0);
  EXPECT_EQ(palette.GetColorValue(1), -50.0);
  EXPECT_EQ(Map(palette, -50.0), Purple);
}

TEST(DataToColorTest, RangesAtTheEdgeOfADoubleSpreadTheColours) {
  const double inf = std::numeric_limits<double>::infinity();
  const double top = std::numeric_limits<double>::max();
  struct Case {
    double Min, Max, ShownMin, ShownMax;
  };
  // An infinite end stands for the largest double; a width that overflows a
  // double still spreads the six colours over the range.
  for (const Case &c : {Case{-1e308, 1e308, -1e308, 1e308}, Case{-inf, inf, -top, top},
                        Case{-top, top, -top, top}, Case{0.0, inf, 0.0, top}}) {
    TDataToColor palette;
    palette.SetRange(c.Min, c.Max);
    ASSERT_EQ(palette.GetMinValue(), c.ShownMin) << c.Min;
    ASSERT_EQ(palette.GetMaxValue(), c.ShownMax) << c.Max;
    // Half a bin, in halves so that nothing overflows.
    const double halfStep = c.ShownMax / 10.0 - c.ShownMin / 10.0;
    EXPECT_EQ(palette.GetColorValue(5), c.ShownMax);
    EXPECT_DOUBLE_EQ(palette.GetColorValue(2), 2.0 * (c.ShownMin / 2.0 + 2.0 * halfStep)) << c.Max;
    const TColor3f expected[] = {Black, Purple, Blue, Green, Ochre, Red};
    for (int bin = 0; bin < 5; ++bin)
      EXPECT_EQ(Map(palette, 2.0 * (c.ShownMin / 2.0 + (bin + 0.5) * halfStep)), expected[bin])
          << bin;
    EXPECT_EQ(Map(palette, c.ShownMax), Red);
    EXPECT_EQ(Map(palette, -inf), Black);
    EXPECT_EQ(Map(palette, inf), Red);
  }
}

TEST_F(PaletteFileTest, SkipsOutOfRangeTriplesAndKeepsOrder) {
  TDataToColor palette;
  palette.LoadFromFile(Write("0 0 0\n300 0 0\n255 255 255\n"));
  ASSERT_EQ(palette.GetColorCount(), 2);
  EXPECT_EQ(palette.GetColor(0), Black);
  EXPECT_EQ(palette.GetColor(1), White);
  EXPECT_EQ(Map(palette, 0.0), Black);
  EXPECT_EQ(Map(palette, 99.99), Black);
  EXPECT_EQ(Map(palette, 100.0), White);

  palette.LoadFromFile(Write("1 2 -1\n0 128 255\n"));
  ASSERT_EQ(palette.GetColorCount(), 1);
  EXPECT_EQ(palette.GetColor(0), (TColor3f{0.0f, 128.0f / 255.0f, 1.0f}));
}

TEST_F(PaletteFileTest, TriplesMayBeSpreadOverLinesAndWhiteSpace) {
  TDataToColor palette;
  palette.LoadFromFile(Write("0 0\r\n0 255\t\t255\n\v255"));
  ASSERT_EQ(palette.GetColorCount(), 2);
  EXPECT_EQ(palette.GetColor(0), Black);
  EXPECT_EQ(palette.GetColor(1), White);

  // An incomplete last triple is not a colour.
  palette.LoadFromFile(Write("+255 0 0\n0 0"));
  ASSERT_EQ(palette.GetColorCount(), 1);
  EXPECT_EQ(palette.GetColor(0), Red);
}

TEST_F(PaletteFileTest, EmptyMissingAndUselessFilesGiveTheDefault) {
  TDataToColor palette;
  palette.LoadFromFile(Write("0 0 0\n255 255 255\n"));
  ASSERT_EQ(palette.GetColorCount(), 2);
  palette.LoadFromFile(Write(""));
  EXPECT_EQ(palette.GetColorCount(), 6);

  palette.LoadFromFile(Write("0 0 0\n255 255 255\n"));
  palette.LoadFromFile((Dir / "missing.ncm").string());
  EXPECT_EQ(palette.GetColorCount(), 6);
  EXPECT_EQ(palette.GetColor(3), Green);

  palette.LoadFromFile(Write("256 0 0\n99999999999999999999999 1 1\n"));
  EXPECT_EQ(palette.GetColorCount(), 6);

  palette.LoadFromFile(Dir.string());
  EXPECT_EQ(palette.GetColorCount(), 6);
}

TEST_F(PaletteFileTest, TokenThatIsNotAnIntegerEndsTheReading) {
  TDataToColor palette;
  palette.SetRange(-1.0, 1.0);
  palette.LoadFromFile(Write("255 0 0\n0 0 255\n0 1.5 0\n255 255 255\n"));
  ASSERT_EQ(palette.GetColorCount(), 2);
  EXPECT_EQ(palette.GetColor(0), Red);
  EXPECT_EQ(palette.GetColor(1), Blue);
  EXPECT_EQ(palette.GetMinValue(), -1.0);
  EXPECT_EQ(palette.GetMaxValue(), 1.0);

  palette.LoadFromFile(Write("# comment\n255 255 255\n"));
  EXPECT_EQ(palette.GetColorCount(), 6);
  palette.LoadFromFile(Write("0 0 0\n- 1 1\n"));
  EXPECT_EQ(palette.GetColorCount(), 1);
  palette.LoadFromFile(Write("0 0 0x10\n"));
  EXPECT_EQ(palette.GetColorCount(), 6);
}

TEST_F(PaletteFileTest, SingleColourMapsEverythingAndBeginsAtMinValue) {
  TDataToColor palette;
  palette.SetRange(-65.0, 20.0);
  palette.LoadFromFile(Write("0 255 0\n"));
  ASSERT_EQ(palette.GetColorCount(), 1);
  EXPECT_EQ(palette.GetColorValue(0), -65.0);
  for (double v : {-1000.0, -65.0, 0.0, 20.0, 1000.0})
    EXPECT_EQ(Map(palette, v), (TColor3f{0.0f, 1.0f, 0.0f})) << v;
}
