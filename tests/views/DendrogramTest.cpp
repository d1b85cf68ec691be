#include "ViewTestData.h"

#include "views/Dendrogram.h"
#include "views/DendrogramPick.h"

#include <gtest/gtest.h>

namespace {

struct TLine {
  double X1, Y1, X2, Y2;
  bool operator==(const TLine &) const = default;
};

std::ostream &operator<<(std::ostream &out, const TLine &l) {
  return out << "(" << l.X1 << ", " << l.Y1 << ")-(" << l.X2 << ", " << l.Y2 << ")";
}

// Item 0: the soma. Item 1: a dendrite whose rows reach 3:
//   dend - a - a1 on row 0, a2 (child of a) on row 1, b and c (children of
//   dend) on rows 2 and 3. Item 2: an unbranched axon in one row.
class Dendrogram : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string file =
        WriteDataFile(Dir, "tree.dat",
                      {StraightSection("soma", -1, 10, 1), StraightSection("dend", 0, 100, 2),
                       StraightSection("a", 1, 20, 1), StraightSection("a1", 2, 30, 3),
                       TaperedSection("a2", 2, 40, 4, 2.0, 1.0), StraightSection("b", 1, 10, 1),
                       StraightSection("c", 1, 15, 1), StraightSection("axon", 0, 60, 2),
                       StraightSection("axon2", 7, 40, 1)},
                      {{2.5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}});
    Data.Load(file);
    ASSERT_EQ(Data.GetItemCount(), 3);
  }

  void Check(std::initializer_list<int> items) {
    for (int i = 0; i < Data.GetItemCount(); ++i)
      Data.GetItemChecked()[i] = 0;
    for (int i : items)
      Data.GetItemChecked()[i] = 1;
  }

  // The row height of every laid-out section, by name.
  std::map<std::string, double> Rows(const TDendrogram &layout) const {
    std::map<std::string, double> rows;
    for (const TDendrogramSection &s : layout.Sections())
      rows[Data.GetSections()[s.Section].Name] = s.Y;
    return rows;
  }

  std::vector<TLine> Connections(const TDendrogram &layout) const {
    std::vector<TLine> lines;
    const auto &v = layout.ConnectionVertices();
    for (std::size_t i = 0; i + 1 < v.size(); i += 2)
      lines.push_back({v[i].X, v[i].Y, v[i + 1].X, v[i + 1].Y});
    return lines;
  }

  QTemporaryDir Dir;
  TNeuronDataFile Data;
};

TEST_F(Dendrogram, RowsAndHeightFollowTheCheckedItems) {
  struct TCase {
    std::initializer_list<int> Checked;
    double Height;
    std::map<std::string, double> Rows;
  };
  const std::vector<TCase> cases{
      // Largest rows 3 and 0.
      {{1, 2},
       70.0,
       {{"dend", 70},
        {"a", 70},
        {"a1", 70},
        {"a2", 60},
        {"b", 50},
        {"c", 40},
        {"axon", 20},
        {"axon2", 20}}},
      // The unchecked dendrite leaves no gap.
      {{0, 2}, 40.0, {{"soma", 40}, {"axon", 20}, {"axon2", 20}}},
      // A single chain: one row, only the item spacing.
      {{2}, 20.0, {{"axon", 20}, {"axon2", 20}}},
      {{}, 0.0, {}},
  };
  for (const TCase &c : cases) {
    Check(c.Checked);
    TDendrogram layout;
    layout.Build(Data, 20.0, 10.0);
    EXPECT_EQ(TDendrogram::TotalHeight(Data, 20.0, 10.0), c.Height);
    EXPECT_EQ(layout.GetTotalHeight(), c.Height);
    EXPECT_EQ(Rows(layout), c.Rows) << "height " << c.Height;
    EXPECT_EQ(layout.IsEmpty(), c.Rows.empty());
  }
}

TEST_F(Dendrogram, ConnectionLinesRunFromTheParentsRowAtTheSectionsStart) {
  Check({1, 2});
  TDendrogram layout;
  layout.Build(Data, 20.0, 10.0);
  // a2 one row below its parent a; b and c two and three rows below dend.
  EXPECT_EQ(Connections(layout),
            (std::vector<TLine>{{120, 70, 120, 60}, {100, 70, 100, 50}, {100, 70, 100, 40}}));
  const auto *a2 = layout.FindSection(4);
  ASSERT_NE(a2, nullptr);
  EXPECT_EQ(a2->Connection, 0);
  EXPECT_EQ(layout.FindSection(3)->Connection, -1);
  EXPECT_EQ(layout.FindSection(0), nullptr) << "the soma is unchecked";
}

TEST_F(Dendrogram, SectionStripsRunThroughTheirSegmentStartsToTheirEnd) {
  Check({1});
  TDendrogram layout;
  layout.Build(Data, 20.0, 10.0);
  const TDendrogramSection &a1 = *layout.FindSection(3);
  ASSERT_EQ(a1.SegmentCount, 3);
  EXPECT_EQ(a1.FirstSegment, Data.GetSectionFirstSegment()[3]);
  std::vector<float> xs;
  for (int k = 0; k <= a1.SegmentCount; ++k)
    xs.push_back(layout.Vertices()[a1.FirstVertex + k].X);
  EXPECT_EQ(xs, (std::vector<float>{120, 130, 140, 150}));
  // The segments again as separate lines, one pair per segment.
  const TDendrogramItem &item = layout.Items().front();
  EXPECT_EQ(item.LineCount, 2 * (2 + 1 + 3 + 4 + 1 + 1));
  EXPECT_EQ(item.ConnectionCount, 6);
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
      {0, 0, 0, {{5, 90}}},  {1, 0, 1, {{75, 70}}}, {1, 3, 2, {{145, 60}}},
      {2, 1, 0, {{80, 20}}}, {1, 7, 0, {}},         {1, 0, 2, {}},
      {3, 0, 0, {}},         {-1, 0, 0, {}},        {1, -1, 0, {}},
  };
  for (const TCase &c : cases) {
    const auto middle = layout.SegmentMiddle(c.Item, c.Section, c.Segment);
    ASSERT_EQ(middle.has_value(), c.Middle.has_value()) << c.Item << c.Section << c.Segment;
    if (middle) {
      EXPECT_EQ(middle->X, c.Middle->first);
      EXPECT_EQ(middle->Y, c.Middle->second);
    }
  }
  // Unchecking moves the markers with their rows, and hides the item's own.
  Data.GetItemChecked()[1] = 0;
  EXPECT_TRUE(layout.Update(Data, 20.0, 10.0));
  EXPECT_FALSE(layout.Update(Data, 20.0, 10.0));
  EXPECT_FALSE(layout.SegmentMiddle(1, 0, 1).has_value());
  EXPECT_EQ(layout.SegmentMiddle(0, 0, 0)->Y, 40.0f);
  Data.GetItemChecked()[1] = 1;
  EXPECT_TRUE(layout.Update(Data, 20.0, 10.0));
  EXPECT_EQ(layout.SegmentMiddle(1, 0, 1)->X, 75.0f);
}

TEST_F(Dendrogram, TheDistanceAxisIsAtLeastTheScaleBar) {
  Check({2});
  EXPECT_EQ(Data.GetMaxDistance(), 100.0);
  Check({1});
  EXPECT_EQ(TDendrogram::DistanceAxisLength(Data), 160.0);
  Data.GetItemChecked()[1] = 0;
  Data.GetItemChecked()[0] = 1;
  EXPECT_EQ(TDendrogram::DistanceAxisLength(Data), 100.0) << "a 10 um soma";
}

TEST(DendrogramHits, OnePassReadsItsRecords) {
  struct TCase {
    int Hits;
    std::vector<std::uint32_t> Names;
    TPickPass Expected;
  };
  const std::vector<TCase> cases{
      {0, {}, {0, false, false}},           {1, {4}, {4, true, false}},
      {1, {0}, {0, true, false}},           {2, {0, 3}, {3, true, false}},
      {2, {2, 5}, {5, true, false}},        {3, {6, 2, 9}, {6, true, false}},
      {3, {0, 0, 0}, {0, true, false}},     {3, {0, 7, 0}, {7, true, false}},
      {4, {1, 2, 3, 4}, {-1, false, true}}, {-1, {}, {0, true, false}},
  };
  for (const TCase &c : cases) {
    std::vector<std::uint32_t> buffer;
    for (std::uint32_t name : c.Names)
      buffer.insert(buffer.end(), {1u, 0u, 0u, name});
    const TPickPass pass = InterpretHits(c.Hits, buffer.data(), buffer.size());
    EXPECT_EQ(pass.Result, c.Expected.Result) << c.Hits << " hits";
    EXPECT_EQ(pass.Succeeded, c.Expected.Succeeded) << c.Hits << " hits";
    EXPECT_EQ(pass.Ambiguous, c.Expected.Ambiguous) << c.Hits << " hits";
  }
  // A buffer shorter than its count claims is read only as far as it goes.
  const std::uint32_t cut[] = {1, 0, 0};
  EXPECT_EQ(InterpretHits(1, cut, 3).Result, 0);
}

TEST_F(Dendrogram, TheQueryTextsOfEveryMode) {
  struct TCase {
    int Mode, Item, Section, Segment;
    std::string Format, Title, Value;
  };
  // 1-based: a2 is section 4 of item 2, 40 long in 4 segments from 120,
  // tapering from 2 to 1; a1 is section 3, its segment 3 has global index 6,
  // value 7.
  const std::vector<TCase> cases{
      {0, 1, 1, 1, "%0.3f", "Point coordinates", "soma(0)"},
      {1, 2, 4, 3, "%0.3f", "a2(2)", "1, 3, 2"},
      {2, 2, 4, 2, "%0.3f", "Distance from root (left)", "130.000 um"},
      {3, 2, 4, 2, "%0.3f", "Distance from root (right)", "140.000 um"},
      {4, 2, 4, 1, "%0.3f", "Diameter(s)", "2.000, 1.750 um"},
      {4, 3, 1, 2, "%0.3f", "Diameter(s)", "1.000 um"},
      {5, 2, 3, 3, "%0.3f", "Value of variable", "7.000 mV"},
      {5, 2, 3, 3, "%.1e", "Value of variable", "7.0e+00 mV"},
  };
  for (const TCase &c : cases) {
    const auto query = QueryPoint(Data, c.Mode, c.Item, c.Section, c.Segment, c.Format);
    ASSERT_TRUE(query.has_value()) << "mode " << c.Mode;
    EXPECT_EQ(query->Title, c.Title) << "mode " << c.Mode;
    EXPECT_EQ(query->Value, c.Value) << "mode " << c.Mode;
  }
  // Addresses outside the model and unknown modes give nothing.
  for (auto [mode, item, section, segment] : std::vector<std::array<int, 4>>{
           {0, 4, 1, 1}, {0, 1, 2, 1}, {0, 2, 1, 3}, {0, 0, 1, 1}, {6, 1, 1, 1}})
    EXPECT_FALSE(QueryPoint(Data, mode, item, section, segment, "%0.3f").has_value());
}

} // namespace
