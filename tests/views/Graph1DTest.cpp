#include "ViewTestData.h"

#include "views/Graph1D.h"

#include <gtest/gtest.h>

namespace {

struct TPoint {
  double X, Y;
  bool operator==(const TPoint &) const = default;
};

std::ostream &operator<<(std::ostream &out, const TPoint &p) {
  return out << "(" << p.X << ", " << p.Y << ")";
}

std::vector<std::vector<TPoint>> StripPoints(const TGraph1D &graph) {
  std::vector<std::vector<TPoint>> strips;
  for (const TGraph1DStrip &strip : graph.Strips()) {
    strips.emplace_back();
    for (int i = strip.First; i < strip.First + strip.Count; ++i)
      strips.back().push_back({graph.Vertices()[i].X, graph.Vertices()[i].Y});
  }
  return strips;
}

// Segment values 10, 20, ... 90 by global index; colour red = index / 10.
class Graph1D : public ::testing::Test {
protected:
  void SetUp() override {
    // soma (root, 2 segments) - trunk (2 segments) with children a, b, c;
    // a has the one child a1.
    const std::string file =
        WriteDataFile(Dir, "graph.dat",
                      {StraightSection("soma", -1, 20, 2), StraightSection("trunk", 0, 100, 2),
                       StraightSection("a", 1, 50, 1), StraightSection("b", 1, 40, 1),
                       StraightSection("c", 1, 40, 2), StraightSection("a1", 2, 10, 1)},
                      {{0.0, 10, 20, 30, 40, 50, 60, 70, 80, 90}});
    Data.Load(file);
    ASSERT_EQ(Data.GetItemCount(), 2);
    for (int i = 0; i < 9; ++i) {
      Values.push_back(10.0 * (i + 1));
      Colors.insert(Colors.end(), {i / 10.0f, 0.5f, 0.25f});
    }
  }

  QTemporaryDir Dir;
  TNeuronDataFile Data;
  std::vector<double> Values;
  std::vector<float> Colors;
  TGraph1D Graph;
};

TEST_F(Graph1D, StripsRunThroughSegmentStartsAndForkAtBranchPoints) {
  Graph.Build(Data, Values.data(), Colors.data());
  const std::vector<std::vector<TPoint>> expected{
      // The soma has no parent: its end stays level although it has a child.
      {{0, 10}, {10, 15}, {20, 15}},
      // The trunk starts its item at its own first value, and ends in the
      // middle of its last segment, where three branches leave.
      {{0, 30}, {50, 35}, {75, 40}},
      {{75, 40}, {100, 45}},
      {{75, 40}, {100, 50}},
      {{75, 40}, {100, 55}},
      // a: starts at the mean with its parent's last value, ends at the mean
      // with its one child's first.
      {{100, 45}, {150, 70}},
      // b and c have no children: level ends.
      {{100, 50}, {140, 50}},
      {{100, 55}, {120, 75}, {140, 75}},
      {{150, 70}, {160, 70}},
  };
  EXPECT_EQ(StripPoints(Graph), expected);
}

TEST_F(Graph1D, VerticesTakeTheirSegmentsColours) {
  Graph.Build(Data, Values.data(), Colors.data());
  const auto red = [&](int strip, int vertex) {
    return Graph.Vertices()[Graph.Strips()[strip].First + vertex].R;
  };
  // Soma: segments 0, 1, and its level end keeps segment 1's colour.
  EXPECT_FLOAT_EQ(red(0, 0), 0.0f);
  EXPECT_FLOAT_EQ(red(0, 1), 0.1f);
  EXPECT_FLOAT_EQ(red(0, 2), 0.1f);
  // Trunk: the fork point and every branch in the last segment's colour.
  EXPECT_FLOAT_EQ(red(1, 2), 0.3f);
  for (int branch = 2; branch <= 4; ++branch) {
    EXPECT_FLOAT_EQ(red(branch, 0), 0.3f);
    EXPECT_FLOAT_EQ(red(branch, 1), 0.3f);
  }
  EXPECT_FLOAT_EQ(Graph.Vertices()[0].G, 0.5f);
  EXPECT_FLOAT_EQ(Graph.Vertices()[0].B, 0.25f);
}

TEST_F(Graph1D, UncheckedItemsAreLeftOut) {
  Data.GetItemChecked()[1] = 0;
  Graph.Build(Data, Values.data(), Colors.data());
  ASSERT_EQ(Graph.Strips().size(), 1u);
  EXPECT_EQ(Graph.Strips()[0].Count, 3);
  Data.GetItemChecked()[0] = 0;
  Graph.Build(Data, Values.data(), Colors.data());
  EXPECT_TRUE(Graph.Strips().empty());
  EXPECT_TRUE(Graph.Vertices().empty());
}

// A layout kept over frames gives what a fresh build gives for each frame,
// and asks to be made again exactly when the checked items change.
TEST_F(Graph1D, ALayoutKeptOverFramesMatchesAFreshBuild) {
  Graph.Layout(Data);
  EXPECT_FALSE(Graph.NeedsLayout(Data));
  for (double offset : {0.0, -35.5, 12.25}) {
    std::vector<double> values = Values;
    std::vector<float> colors = Colors;
    for (std::size_t i = 0; i < values.size(); ++i) {
      values[i] += offset * static_cast<double>(i % 3);
      colors[3 * i + 1] = static_cast<float>(i) / 20.0f;
    }
    Graph.Fill(values.data(), colors.data());
    TGraph1D fresh;
    fresh.Build(Data, values.data(), colors.data());
    ASSERT_EQ(Graph.Vertices().size(), fresh.Vertices().size());
    for (std::size_t i = 0; i < fresh.Vertices().size(); ++i) {
      const TGraph1DVertex &a = Graph.Vertices()[i];
      const TGraph1DVertex &b = fresh.Vertices()[i];
      EXPECT_TRUE(a.X == b.X && a.Y == b.Y && a.R == b.R && a.G == b.G && a.B == b.B)
          << "vertex " << i << " at offset " << offset;
    }
  }
  // The lines join each strip's neighbouring vertices, strip after strip.
  std::vector<std::uint32_t> lines;
  for (const TGraph1DStrip &strip : Graph.Strips())
    for (int i = strip.First; i + 1 < strip.First + strip.Count; ++i)
      lines.insert(lines.end(), {static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i + 1)});
  EXPECT_EQ(Graph.LineIndices(), lines);
  Data.GetItemChecked()[1] = 0;
  EXPECT_TRUE(Graph.NeedsLayout(Data));
  Graph.Layout(Data);
  EXPECT_FALSE(Graph.NeedsLayout(Data));
  Data.GetItemChecked()[1] = 1;
  EXPECT_TRUE(Graph.NeedsLayout(Data));
}

} // namespace
