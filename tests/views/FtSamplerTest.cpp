#include "ViewTestData.h"

#include "views/FtSampler.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

// Item 0: "soma" (1 segment); item 1: "dend" (2 segments) and its child "tip"
// (3 segments). 40 frames.
class FtSampler : public ::testing::Test {
protected:
  void SetUp() override {
    std::vector<std::vector<double>> frames;
    for (int t = 0; t < 40; ++t)
      frames.push_back({double(t), 0, 0, 0, 0, 0, 0});
    Data.Load(WriteDataFile(Dir, "samples.dat",
                            {StraightSection("soma", -1, 10, 1), StraightSection("dend", 0, 20, 2),
                             StraightSection("tip", 1, 30, 3)},
                            frames));
    ASSERT_EQ(Data.GetItemCount(), 2);
  }

  void Add(const char *code) {
    std::string error;
    ASSERT_NE(AddSelectedPoint(Points, code, code, error), nullptr) << error;
  }

  // A frame at time whose segment k has the value 10 x time + k.
  void Frame(double time) {
    std::vector<double> values;
    for (int k = 0; k < 6; ++k)
      values.push_back(10.0 * time + k);
    Sampler.Update(Points, Data, time, values.data());
  }

  std::vector<std::vector<double>> Times() const {
    std::vector<std::vector<double>> times;
    for (const auto &point : Points) {
      times.emplace_back();
      for (const TPointSample &sample : point->Samples)
        times.back().push_back(sample.Time);
    }
    return times;
  }

  QTemporaryDir Dir;
  TNeuronDataFile Data;
  TSelectedPointList Points;
  TFtSampler Sampler;
};

using TTimes = std::vector<std::vector<double>>;

TEST_F(FtSampler, OneSamplePerPointPerFrameVisitedAndTrimmedWhenPlaybackMovesBack) {
  Add("0,0,0");
  Add("1,0,1");
  Add("1,1,2");
  // A frame time and the sample times of the three points after it.
  const std::pair<double, TTimes> steps[] = {
      {0, {{0}, {0}, {0}}},
      {1, {{0, 1}, {0, 1}, {0, 1}}},
      {2, {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}},
      {2, {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}}, // the same frame drawn again
      {1, {{0, 1}, {0, 1}, {0, 1}}},
      {2, {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}},
      {6, {{0, 1, 2, 6}, {0, 1, 2, 6}, {0, 1, 2, 6}}},
      // Back to a time never visited: the curves end before it, and the next
      // step forward goes on from there.
      {4, {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}},
      {8, {{0, 1, 2, 8}, {0, 1, 2, 8}, {0, 1, 2, 8}}},
  };
  for (const auto &[time, expected] : steps) {
    Frame(time);
    EXPECT_EQ(Times(), expected) << "at " << time;
  }
  // Each sample holds its segment's value at its time: segments 0, 2 and 5.
  EXPECT_EQ(Points[0]->Samples[1].Value, 10.0);
  EXPECT_EQ(Points[1]->Samples[1].Value, 12.0);
  EXPECT_EQ(Points[2]->Samples[3].Value, 85.0);
  EXPECT_EQ(Sampler.LastSampledTime(), 8.0);
}

TEST_F(FtSampler, AChangedListSamplesEveryPointOnceAtTheCurrentTime) {
  struct TCase {
    const char *Name;
    // Frames visited with two points, the change, then the frame after it.
    std::vector<double> Visited;
    bool DeleteFirst;
    double Now;
    TTimes Expected;
  };
  const TCase cases[] = {
      {"added while paused", {3, 4, 5}, false, 5, {{3, 4, 5}, {3, 4, 5}, {5}}},
      {"deleted while paused", {3, 4, 5}, true, 5, {{3, 4, 5}}},
      {"added with a step forward", {3, 4}, false, 5, {{3, 4, 5}, {3, 4, 5}, {5}}},
      // Skip 4 visits 0, 5, 10; a single step back then reaches 9, never
      // visited, in the same pass as the change: every curve ends there, in order.
      {"deleted with a step back to a time never visited", {0, 5, 10}, true, 9, {{0, 5, 9}}},
      {"added with a step back to a time never visited",
       {0, 5, 10},
       false,
       9,
       {{0, 5, 9}, {0, 5, 9}, {9}}},
  };
  for (const TCase &c : cases) {
    Points.clear();
    Sampler.Reset();
    Add("0,0,0");
    Add("1,0,1");
    for (double time : c.Visited)
      Frame(time);
    if (c.DeleteFirst)
      Points.erase(Points.begin());
    else
      Add("1,1,0");
    Frame(c.Now);
    EXPECT_EQ(Times(), c.Expected) << c.Name;
  }
}

TEST_F(FtSampler, ResetAfterClearingStartsTheCurvesAfresh) {
  Add("0,0,0");
  for (double time : {0, 1, 2, 3})
    Frame(time);
  Points[0]->Samples.clear();
  Sampler.Reset();
  Frame(3);
  EXPECT_EQ(Times(), (TTimes{{3}}));
  // A reset alone keeps the history up to the current time.
  Frame(5);
  Sampler.Reset();
  Frame(4);
  EXPECT_EQ(Times(), (TTimes{{3, 4}}));
}

TEST_F(FtSampler, APointOutsideTheModelAndATimeThatIsNoNumberRecordNothing) {
  Add("0,0,0");
  Add("1,2,0"); // item 1 has two sections
  Add("0,0,1"); // the soma has one segment
  Frame(1);
  EXPECT_EQ(Times(), (TTimes{{1}, {}, {}}));
  Frame(std::numeric_limits<double>::quiet_NaN());
  Frame(std::numeric_limits<double>::infinity());
  EXPECT_EQ(Times(), (TTimes{{1}, {}, {}}));
  EXPECT_EQ(Sampler.LastSampledTime(), 1.0);
}

TEST_F(FtSampler, AnEmptyListSamplesNothingAndKeepsNoTime) {
  Frame(1);
  EXPECT_FALSE(Sampler.LastSampledTime());
}

TEST_F(FtSampler, APointHoldsAtMostOneSampleSlotPerFrameOfTheFile) {
  Add("0,0,0");
  for (int t = 0; t < 40; ++t)
    Frame(t);
  ASSERT_EQ(Points[0]->Samples.size(), 40u);
  EXPECT_EQ(Points[0]->Samples.capacity(), 40u);
}

TEST(VisibleSamples, TheRunInsideTheTimeScale) {
  const std::vector<TPointSample> samples{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}};
  struct TCase {
    double Min, Max;
    std::size_t First, Count;
  };
  const TCase cases[] = {
      {0, 4, 0, 5}, {1, 3, 1, 3},   {0.5, 2.5, 1, 2}, {-10, 10, 0, 5},
      {5, 9, 5, 0}, {-9, -1, 0, 0}, {2, 2, 2, 1},     {3, 1, 3, 0},
  };
  for (const TCase &c : cases) {
    const TSampleSpan span = VisibleSamples(samples, c.Min, c.Max);
    EXPECT_EQ(span.Count, c.Count) << c.Min << ".." << c.Max;
    EXPECT_EQ(span.First, c.First) << c.Min << ".." << c.Max;
  }
  EXPECT_EQ(VisibleSamples({}, 0, 10).Count, 0u);
}

} // namespace

namespace {

TEST(ReduceToPixelColumns, KeepsTheFirstLowestHighestAndLastOfEveryColumn) {
  // Two columns of width 1 from time 0: 0 <= t < 1 and 1 <= t < 2.
  const std::vector<TPointSample> samples{{0.0, 5}, {0.2, 9}, {0.4, 1}, {0.6, 4},
                                          {0.8, 6}, {1.0, 3}, {1.5, 3}, {1.9, 3}};
  std::vector<TPointSample> out{{7, 7}};
  ReduceToPixelColumns(samples.data(), samples.size(), 0.0, 1.0, out);
  std::vector<double> times;
  for (const TPointSample &s : out)
    times.push_back(s.Time);
  // Column 0: first 0, highest 0.2, lowest 0.4, last 0.8; column 1: a flat
  // run keeps its first and last.
  EXPECT_EQ(times, (std::vector<double>{0.0, 0.2, 0.4, 0.8, 1.0, 1.9}));

  // Columns of a quarter unit shifted by 0.1: every sample is alone or with
  // one other, and nothing is lost.
  ReduceToPixelColumns(samples.data(), samples.size(), 0.1, 4.0, out);
  EXPECT_EQ(out.size(), samples.size());
  ReduceToPixelColumns(samples.data(), 0, 0.0, 1.0, out);
  EXPECT_TRUE(out.empty());
}

} // namespace
