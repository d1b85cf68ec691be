#include "ViewTestData.h"

#include "views/FtSampler.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using TTimes = std::vector<std::vector<double>>;

// Points on a soma (1 segment) and a dendrite (2 segments, then 3 in its
// child), 40 frames; the frame at time t gives segment k the value 10t + k.
class FtSampler : public ::testing::Test {
protected:
  void SetUp() override {
    std::vector<std::vector<double>> frames(40, std::vector<double>(7, 0.0));
    for (int t = 0; t < 40; ++t)
      frames[t][0] = t;
    Data.Load(WriteDataFile(Dir, "samples.dat",
                            {StraightSection("soma", -1, 10, 1), StraightSection("dend", 0, 20, 2),
                             StraightSection("tip", 1, 30, 3)},
                            frames));
  }
  void Add(const char *code) {
    std::string error;
    AddSelectedPoint(Points, code, code, error);
  }
  void Frame(double t) {
    const std::vector<double> values{10 * t,     10 * t + 1, 10 * t + 2,
                                     10 * t + 3, 10 * t + 4, 10 * t + 5};
    Sampler.Update(Points, Data, t, values.data());
  }
  TTimes Times() const {
    TTimes times;
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

TEST_F(FtSampler, OneSamplePerFrameVisitedTrimmedWhenPlaybackMovesBack) {
  Add("0,0,0");
  Add("1,1,2");
  // The frame drawn and the sample times of both points after it.
  const std::pair<double, std::vector<double>> steps[] = {
      {0, {0}},       {1, {0, 1}},       {2, {0, 1, 2}}, {2, {0, 1, 2}},    {1, {0, 1}},
      {2, {0, 1, 2}}, {6, {0, 1, 2, 6}}, {4, {0, 1, 2}}, {8, {0, 1, 2, 8}}, // 4 was never visited
  };
  for (const auto &[time, expected] : steps) {
    Frame(time);
    EXPECT_EQ(Times(), (TTimes{expected, expected})) << "at " << time;
  }
  EXPECT_EQ(Points[1]->Samples[3].Value, 85.0); // segment 5 at 8
}

TEST_F(FtSampler, AChangedListOrAResetSamplesEveryPointOnceAtTheCurrentTime) {
  struct TCase {
    std::vector<double> Visited; // with two points, before the change
    bool DeleteFirst;            // else a third point is added
    double Now;
    TTimes Expected;
  };
  const TCase cases[] = {
      {{3, 4, 5}, false, 5, {{3, 4, 5}, {3, 4, 5}, {5}}},
      {{3, 4, 5}, true, 5, {{3, 4, 5}}},
      {{3, 4}, false, 5, {{3, 4, 5}, {3, 4, 5}, {5}}},
      // Skip 4 visits 0, 5, 10; a step back then reaches 9, never visited.
      {{0, 5, 10}, true, 9, {{0, 5, 9}}},
      {{0, 5, 10}, false, 9, {{0, 5, 9}, {0, 5, 9}, {9}}},
  };
  for (const TCase &c : cases) {
    Points.clear();
    Add("0,0,0");
    Add("1,0,1");
    for (double time : c.Visited)
      Frame(time);
    c.DeleteFirst ? void(Points.erase(Points.begin())) : Add("1,1,0");
    Frame(c.Now);
    EXPECT_EQ(Times(), c.Expected) << c.Visited.size() << c.DeleteFirst << c.Now;
  }
  Points[0]->Samples.clear(); // a cleared history
  Sampler.Reset();
  Frame(9);
  EXPECT_EQ(Times(), (TTimes{{9}, {0, 5, 9}, {9}}));
}

TEST_F(FtSampler, OnlyPointsInTheModelAndFiniteTimesAreSampledInRoomForEveryFrame) {
  Frame(0);
  EXPECT_FALSE(Sampler.LastSampledTime()) << "no points, no sampled time";
  Add("0,0,0");
  Add("1,2,0"); // item 1 has two sections
  Add("0,0,1"); // the soma has one segment
  for (double t : {1.0, std::numeric_limits<double>::quiet_NaN(), HUGE_VAL})
    Frame(t);
  EXPECT_EQ(Times(), (TTimes{{1}, {}, {}}));
  for (int t = 2; t < 40; ++t)
    Frame(t);
  EXPECT_EQ(Points[0]->Samples.size(), 39u);
  EXPECT_EQ(Points[0]->Samples.capacity(), 40u) << "no more room than the file has frames";
}

TEST(FtCurve, TheVisibleRunThinnedToTheFirstLowestHighestAndLastPerColumn) {
  const std::vector<TPointSample> samples{{0.0, 5}, {0.2, 9}, {0.4, 1}, {0.6, 4},
                                          {0.8, 6}, {1.0, 3}, {1.5, 3}, {1.9, 3}};
  const std::array<double, 4> runs[] = {// min, max, first, count
                                        {0, 2, 0, 8}, {0.5, 1.2, 3, 3}, {1, 1, 5, 1},
                                        {5, 9, 8, 0}, {-9, -1, 0, 0},   {1, 0.5, 5, 0}};
  for (const auto &[min, max, first, count] : runs) {
    const TSampleSpan span = VisibleSamples(samples, min, max);
    EXPECT_EQ(std::vector<double>({double(span.First), double(span.Count)}),
              std::vector<double>({first, count}))
        << min << ".." << max;
  }
  std::vector<TPointSample> out{{7, 7}};
  ReduceToPixelColumns(samples.data(), samples.size(), 0.0, 1.0, out);
  std::vector<double> times;
  for (const TPointSample &s : out)
    times.push_back(s.Time);
  EXPECT_EQ(times, (std::vector<double>{0.0, 0.2, 0.4, 0.8, 1.0, 1.9}));
  ReduceToPixelColumns(samples.data(), samples.size(), 0.1, 4.0, out);
  EXPECT_EQ(out.size(), samples.size()) << "narrow columns: nothing to thin";
}

} // namespace
