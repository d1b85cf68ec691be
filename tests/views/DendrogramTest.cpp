#include "ViewTestData.h"

#include "views/Dendrogram.h"
#include "views/DendrogramPick.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// Item 0: the soma. Item 1: dend - a - a1 on row 0, a2 (child of a) on row 1,
// b and c (children of dend) on rows 2 and 3. Item 2: axon - axon2, one row.
class Dendrogram : public ::testing::Test {
protected:
  void SetUp() override {
    Data.Load(WriteDataFile(Dir, "tree.dat",
                            {StraightSection("soma", -1, 10, 1), StraightSection("dend", 0, 100, 2),
                             StraightSection("a", 1, 20, 1), StraightSection("a1", 2, 30, 3),
                             TaperedSection("a2", 2, 40, 4, 2.0, 1.0),
                             StraightSection("b", 1, 10, 1), StraightSection("c", 1, 15, 1),
                             StraightSection("axon", 0, 60, 2), StraightSection("axon2", 7, 40, 1)},
                            {{2.5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}}));
    ASSERT_EQ(Data.GetItemCount(), 3);
  }

  void Check(std::vector<int> items) {
    for (int i = 0; i < Data.GetItemCount(); ++i)
      Data.GetItemChecked()[i] = std::find(items.begin(), items.end(), i) != items.end();
  }

  QTemporaryDir Dir;
  TNeuronDataFile Data;
};

TEST_F(Dendrogram, RowsHeightAndAxisFollowTheCheckedItems) {
  struct TCase {
    std::vector<int> Checked;
    double Height, Axis;
    std::map<std::string, double> Rows;
  };
  const std::vector<TCase> cases{
      // Largest rows 3 and 0.
      {{1, 2},
       70,
       160,
       {{"dend", 70},
        {"a", 70},
        {"a1", 70},
        {"a2", 60},
        {"b", 50},
        {"c", 40},
        {"axon", 20},
        {"axon2", 20}}},
      // The unchecked dendrite leaves no gap; a 10 um soma gets the 100 um axis.
      {{0, 2}, 40, 100, {{"soma", 40}, {"axon", 20}, {"axon2", 20}}},
      // A single chain: one row, only the item spacing.
      {{2}, 20, 100, {{"axon", 20}, {"axon2", 20}}},
      {{}, 0, 100, {}},
  };
  for (const TCase &c : cases) {
    Check(c.Checked);
    TDendrogram layout;
    layout.Build(Data, 20.0, 10.0);
    std::map<std::string, double> rows;
    for (const TDendrogramSection &s : layout.Sections())
      rows[Data.GetSections()[s.Section].Name] = s.Y;
    EXPECT_EQ(rows, c.Rows) << "height " << c.Height;
    EXPECT_EQ(layout.GetTotalHeight(), c.Height);
    EXPECT_EQ(TDendrogram::TotalHeight(Data, 20.0, 10.0), c.Height);
    EXPECT_EQ(TDendrogram::DistanceAxisLength(Data), c.Axis);
  }
}

TEST_F(Dendrogram, ConnectionsRunFromTheParentsRowAndStripsThroughTheSegmentStarts) {
  Check({1, 2});
  TDendrogram layout;
  layout.Build(Data, 20.0, 10.0);
  // a2 one row below its parent a; b and c two and three rows below dend.
  std::vector<float> connections;
  for (const TDendrogramVertex &v : layout.ConnectionVertices())
    connections.insert(connections.end(), {v.X, v.Y});
  EXPECT_EQ(connections,
            (std::vector<float>{120, 70, 120, 60, 100, 70, 100, 50, 100, 70, 100, 40}));
  EXPECT_EQ(layout.FindSection(4)->Connection, 0);
  EXPECT_EQ(layout.FindSection(3)->Connection, -1) << "a1 continues its row";
  EXPECT_EQ(layout.FindSection(0), nullptr) << "the soma is unchecked";

  const TDendrogramSection &a1 = *layout.FindSection(3);
  std::vector<float> xs;
  for (int k = 0; k <= a1.SegmentCount; ++k)
    xs.push_back(layout.Vertices()[a1.FirstVertex + k].X);
  EXPECT_EQ(xs, (std::vector<float>{120, 130, 140, 150}));
  EXPECT_EQ(layout.Items().front().LineCount, 2 * (2 + 1 + 3 + 4 + 1 + 1));
}

TEST_F(Dendrogram, MarkersSitAtSegmentMiddlesOfCheckedItemsOnly) {
  Check({0, 1, 2});
  TDendrogram layout;
  layout.Build(Data, 20.0, 10.0);
  struct TCase {
    int Item, Section, Segment;
    std::optional<std::pair<float, float>> Middle;
  };
  const std::vector<TCase> cases{
      {0, 0, 0, {{5, 90}}}, {1, 0, 1, {{75, 70}}}, {1, 3, 2, {{145, 60}}}, {2, 1, 0, {{80, 20}}},
      {1, 7, 0, {}},        {1, 0, 2, {}},         {3, 0, 0, {}},          {-1, 0, 0, {}},
  };
  for (const TCase &c : cases) {
    const auto middle = layout.SegmentMiddle(c.Item, c.Section, c.Segment);
    ASSERT_EQ(middle.has_value(), c.Middle.has_value()) << c.Item << c.Section << c.Segment;
    if (middle) {
      EXPECT_EQ(std::pair(middle->X, middle->Y), *c.Middle);
    }
  }
  // Unchecking an item drops its markers and moves the rows below it up.
  Data.GetItemChecked()[1] = 0;
  EXPECT_TRUE(layout.Update(Data, 20.0, 10.0));
  EXPECT_FALSE(layout.Update(Data, 20.0, 10.0));
  EXPECT_FALSE(layout.SegmentMiddle(1, 0, 1).has_value());
  EXPECT_EQ(layout.SegmentMiddle(0, 0, 0)->Y, 40.0f);
}

TEST(DendrogramHits, OnePassReadsItsRecords) {
  struct TCase {
    int Hits;
    std::vector<std::uint32_t> Names;
    TPickPass Expected;
  };
  const std::vector<TCase> cases{
      {0, {}, {0, false, false}},       {1, {4}, {4, true, false}},
      {1, {0}, {0, true, false}},       {2, {0, 3}, {3, true, false}},
      {2, {2, 5}, {5, true, false}},    {3, {6, 2, 9}, {6, true, false}},
      {3, {0, 0, 0}, {0, true, false}}, {4, {1, 2, 3, 4}, {-1, false, true}},
      {-1, {}, {0, true, false}},
  };
  for (const TCase &c : cases) {
    std::vector<std::uint32_t> buffer;
    for (std::uint32_t name : c.Names)
      buffer.insert(buffer.end(), {1u, 0u, 0u, name});
    const TPickPass pass = InterpretHits(c.Hits, buffer.data(), buffer.size());
    EXPECT_EQ(std::tuple(pass.Result, pass.Succeeded, pass.Ambiguous),
              std::tuple(c.Expected.Result, c.Expected.Succeeded, c.Expected.Ambiguous))
        << c.Hits << " hits";
  }
}

TEST_F(Dendrogram, TheQueryTextsOfEveryMode) {
  struct TCase {
    int Mode, Item, Section, Segment;
    std::string Format, Title, Value;
  };
  // 1-based: a2 is section 4 of item 2, 40 long in 4 segments from 120,
  // tapering from 2 to 1; segment 3 of a1 (section 3) holds the value 7.
  const std::vector<TCase> cases{
      {0, 1, 1, 1, "%0.3f", "Point coordinates", "soma(0)"},
      {1, 2, 4, 3, "%0.3f", "a2(2)", "1, 3, 2"},
      {2, 2, 4, 2, "%0.3f", "Distance from root (left)", "130.000 um"},
      {3, 2, 4, 2, "%0.3f", "Distance from root (right)", "140.000 um"},
      {4, 2, 4, 1, "%0.3f", "Diameter(s)", "2.000, 1.750 um"},
      {4, 3, 1, 2, "%0.3f", "Diameter(s)", "1.000 um"},
      {5, 2, 3, 3, "%.1e", "Value of variable", "7.0e+00 mV"},
  };
  for (const TCase &c : cases) {
    const auto query = QueryPoint(Data, c.Mode, c.Item, c.Section, c.Segment, c.Format);
    ASSERT_TRUE(query.has_value()) << "mode " << c.Mode;
    EXPECT_EQ(std::pair(query->Title, query->Value), std::pair(c.Title, c.Value));
  }
  // Addresses outside the model and unknown modes give nothing.
  for (auto [mode, item, section, segment] : std::vector<std::array<int, 4>>{
           {0, 4, 1, 1}, {0, 1, 2, 1}, {0, 2, 1, 3}, {0, 0, 1, 1}, {6, 1, 1, 1}})
    EXPECT_FALSE(QueryPoint(Data, mode, item, section, segment, "%0.3f").has_value());
}

} // namespace
