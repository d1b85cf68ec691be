#include "data/NeuronDataFile.h"
#include "data/DataToColor.h"
#include "data/NeuronDataWriter.h"

#include "RawDataFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// Frames at the given times; the value of segment s in frame f is
// 1000 * f + s, so a value names the frame it came from.
std::vector<std::vector<double>> FramesAt(const std::vector<double> &times, int segments) {
  std::vector<std::vector<double>> frames;
  for (std::size_t f = 0; f < times.size(); ++f) {
    std::vector<double> frame{times[f]};
    for (int s = 0; s < segments; ++s)
      frame.push_back(1000.0 * static_cast<double>(f) + s);
    frames.push_back(frame);
  }
  return frames;
}

std::vector<double> Xs(const TDataFileSectionInfo &section) {
  std::vector<double> xs;
  for (const TPoint3Dd &p : section.Points)
    xs.push_back(p.x);
  return xs;
}

std::vector<std::array<double, 4>> OnXAxis(const std::vector<double> &xs, double diameter = 1.0) {
  std::vector<std::array<double, 4>> points;
  for (double x : xs)
    points.push_back({x, 0.0, 0.0, diameter});
  return points;
}

TRawSection Section(const std::string &name, double parent, std::optional<double> length = {},
                    double segments = 1.0) {
  TRawSection s;
  s.Name = name;
  s.Parent = parent;
  s.Length = length;
  s.SegmentCount = segments;
  return s;
}

class ReaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("dendrovia-reader-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string Write(const std::string &bytes) {
    const fs::path path = Dir / ("file" + std::to_string(++Files) + ".dat");
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  // Loads the file with the frames filled in for its segments.
  void Load(TRawDataFile file, const std::vector<double> &times = {0.0}) {
    file.Frames = FramesAt(times, file.SegmentTotal());
    Data.Load(Write(file.Bytes()));
  }

  TDataFileError Reject(const TRawDataFile &file) {
    Data.Load(Write(file.Bytes()));
    EXPECT_TRUE(Data.GetFileName().empty());
    EXPECT_TRUE(Data.GetSections().empty());
    EXPECT_EQ(Data.GetFrameCount(), 0);
    return Data.GetLoadError();
  }

  // The section in a file with only that section, loaded.
  const TDataFileSectionInfo &LoadOne(const TRawSection &section) {
    TRawDataFile file;
    file.Sections = {section};
    Load(file);
    EXPECT_EQ(Data.GetLoadError(), TDataFileError::None);
    return Data.GetSections().at(0);
  }

  double CurrentValue(int segment) {
    std::lock_guard lock(Data.GetFrameLock());
    return Data.GetCurrentFrame()[1 + segment];
  }

  fs::path Dir;
  int Files = 0;
  TNeuronDataFile Data;
};

TEST_F(ReaderTest, SegmentsCutThePolylineIntoEqualLengths) {
  // A line of length 10 in four segments, diameters growing with x.
  TRawSection line = Section("line", 0, {}, 4);
  line.Points.clear();
  for (int x = 0; x <= 10; ++x)
    line.Points.push_back({double(x), 0.0, 0.0, 1.0 + x});
  const TDataFileSectionInfo s = LoadOne(line);
  EXPECT_EQ(s.SegmentFirstPoint, (std::vector<std::int32_t>{0, 4, 8, 12, 16}));
  // The cut at 5 falls on a point: no extra point, and a copy starts the
  // next segment.
  EXPECT_EQ(Xs(s), (std::vector<double>{0, 1, 2, 2.5, 2.5, 3, 4, 5, 5, 6, 7, 7.5, 7.5, 8, 9, 10}));
  EXPECT_EQ(s.PointCount, 16);
  ASSERT_EQ(s.Diameters.size(), 16u);
  EXPECT_DOUBLE_EQ(s.Diameters[3], 3.5);
  EXPECT_DOUBLE_EQ(s.Diameters[4], 3.5);
  EXPECT_DOUBLE_EQ(s.Diameters[7], 6.0);
  EXPECT_DOUBLE_EQ(s.Diameters[11], 8.5);
  EXPECT_DOUBLE_EQ(s.Length, 10.0);

  // A cut a hair after a point (ratio 0.00001) is not inserted: that point
  // ends the segment.
  TRawSection close = Section("close", 0, {}, 2);
  close.Points = OnXAxis({0.0, 0.99999, 2.0});
  const TDataFileSectionInfo c = LoadOne(close);
  EXPECT_EQ(c.SegmentFirstPoint, (std::vector<std::int32_t>{0, 2, 4}));
  EXPECT_EQ(Xs(c), (std::vector<double>{0.0, 0.99999, 0.99999, 2.0}));

  // One segment keeps the points as they are.
  TRawSection one = Section("one", 0, {}, 1);
  one.Points = OnXAxis({0.0, 0.5, 3.0});
  const TDataFileSectionInfo o = LoadOne(one);
  EXPECT_EQ(o.SegmentFirstPoint, (std::vector<std::int32_t>{0, 3}));
  EXPECT_EQ(Xs(o), (std::vector<double>{0.0, 0.5, 3.0}));

  // A length beyond the polyline's end: the segments past the end hold only
  // their starting copy and never run back over the tail.
  TRawSection longer = Section("longer", 0, 8.0, 4);
  longer.Points = OnXAxis({0.0, 2.5, 2.6, 2.7, 3.0});
  const TDataFileSectionInfo l = LoadOne(longer);
  EXPECT_EQ(l.SegmentFirstPoint, (std::vector<std::int32_t>{0, 2, 7, 8, 9}));
  EXPECT_EQ(Xs(l), (std::vector<double>{0.0, 2.0, 2.0, 2.5, 2.6, 2.7, 3.0, 3.0, 3.0}));

  // Steps whose squares overflow, and cuts between points near the largest
  // double, fall where they fall at ordinary size.
  const struct { double Scale, Offset; } far[] = {{1e300, 0.0}, {0x1p1016, 0x1p1023}};
  for (const auto &f : far) {
    SCOPED_TRACE(f.Offset);
    TRawSection big = Section("big", 0, 10 * f.Scale, 4);
    big.Points.clear();
    for (int x = 0; x <= 10; ++x)
      big.Points.push_back({f.Offset + x * f.Scale, 0.0, 0.0, 1.0});
    const TDataFileSectionInfo b = LoadOne(big);
    EXPECT_EQ(b.SegmentFirstPoint, (std::vector<std::int32_t>{0, 4, 8, 12, 16}));
    const std::vector<double> xs = Xs(b);
    const std::vector<double> expected{0, 1, 2, 2.5, 2.5, 3, 4, 5, 5, 6, 7, 7.5, 7.5, 8, 9, 10};
    ASSERT_EQ(xs.size(), expected.size());
    for (std::size_t i = 0; i < xs.size(); ++i)
      EXPECT_DOUBLE_EQ(xs[i], f.Offset + expected[i] * f.Scale) << i;
  }
}

TEST_F(ReaderTest, PointsCloserThanAThousandthAreDropped) {
  // The computed distance from 0 to 0.001 is exactly 0.001: kept.
  TRawSection exact = Section("exact", 0);
  exact.Points = OnXAxis({0.0, 0.001});
  const TDataFileSectionInfo e = LoadOne(exact);
  EXPECT_EQ(e.PointCount, 2);
  EXPECT_EQ(e.SegmentFirstPoint, (std::vector<std::int32_t>{0, 2}));

  // From 1.000 to 1.001 it is slightly less: dropped, and the length becomes
  // that of the kept points. The bounds still take in the dropped point.
  TRawSection below = Section("below", 0, 5.0);
  below.Points = {{1.0, -2.0, 3.0, 1.0}, {1.001, -2.0, 3.0, 1.0}};
  const TDataFileSectionInfo b = LoadOne(below);
  EXPECT_EQ(b.PointCount, 1);
  EXPECT_EQ(b.Length, 0.0);
  EXPECT_EQ(b.SegmentFirstPoint, (std::vector<std::int32_t>{0, 1}));
  EXPECT_EQ(Data.GetMinX(), 1.0);
  EXPECT_EQ(Data.GetMaxX(), 1.001);
  EXPECT_EQ(Data.GetMinY(), -2.0);
  EXPECT_EQ(Data.GetMaxY(), -2.0);
  EXPECT_EQ(Data.GetMinZ(), 3.0);
  EXPECT_EQ(Data.GetMaxZ(), 3.0);

  // A dropped point inside replaces the file's length by the path length.
  TRawSection inside = Section("inside", 0, 99.0);
  inside.Points = OnXAxis({0.0, 1.0, 1.0005, 2.0});
  const TDataFileSectionInfo i = LoadOne(inside);
  EXPECT_EQ(Xs(i), (std::vector<double>{0.0, 1.0, 2.0}));
  EXPECT_DOUBLE_EQ(i.Length, 2.0);

  // With nothing dropped the file's length stands, even if it differs.
  TRawSection kept = Section("kept", 0, 7.5);
  kept.Points = OnXAxis({0.0, 1.0});
  EXPECT_EQ(LoadOne(kept).Length, 7.5);
}

TEST_F(ReaderTest, ItemsDistancesAndLeafRowsFollowTheTree) {
  TRawDataFile file;
  file.Sections = {
      Section("soma", 0, 20.0),         // 0, item 0
      Section("dend[0]", 1, 10.0, 2),   // 1, item 1
      Section("dend[0][0]", 2, 5.0),    // 2, leaf
      Section("dend[0][1]", 2, 4.0, 3), // 3
      Section("dend[0][1][0]", 4, 3.0), // 4, leaf
      Section("dend[0][1][1]", 4, 2.0), // 5, leaf
      Section("axon", 1, 100.0, 5),     // 6, item 2
      Section("dend[1]", 1, 7.0),       // 7, item 3
      Section("other", 0, 1.0),         // 8, second root: item 4
      Section("other[0]", 9, 1.0),      // 9
  };
  Load(file);
  ASSERT_EQ(Data.GetLoadError(), TDataFileError::None);
  EXPECT_EQ(Data.GetItemCount(), 5);
  EXPECT_EQ(Data.GetItemFirstSection(), (std::vector<std::int32_t>{0, 1, 6, 7, 8, 10}));
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(Data.GetItemChecked()[i].load(), 1);
  EXPECT_EQ(Data.GetSectionFirstSegment(),
            (std::vector<std::int32_t>{0, 1, 3, 4, 7, 8, 9, 14, 15, 16, 17}));

  const std::vector<TDataFileSectionInfo> &s = Data.GetSections();
  EXPECT_EQ(s[0].Parent, -1);
  EXPECT_EQ(s[0].Children, (std::vector<std::int32_t>{1, 6, 7}));
  EXPECT_EQ(s[1].Children, (std::vector<std::int32_t>{2, 3}));
  EXPECT_EQ(s[3].Children, (std::vector<std::int32_t>{4, 5}));
  EXPECT_EQ(s[3].ChildCount, 2);
  EXPECT_TRUE(s[2].Children.empty());
  EXPECT_EQ(s[9].Parent, 8);

  const std::vector<double> start{0, 0, 10, 10, 14, 14, 0, 0, 0, 1};
  const std::vector<int> row{0, 0, 0, 1, 1, 2, 0, 0, 0, 0};
  for (std::size_t k = 0; k < s.size(); ++k) {
    EXPECT_EQ(s[k].StartDistance, start[k]) << "section " << k;
    EXPECT_EQ(s[k].LeafIndex, row[k]) << "section " << k;
  }
}

TEST_F(ReaderTest, MaxDistanceOfCheckedItemsRoundsHalfToEven) {
  EXPECT_EQ(Data.GetMaxDistance(), 0.0);
  TRawDataFile file;
  file.Sections = {
      Section("soma", 0, 2.5), // item 0 ends at 2.5
      Section("a", 1, 10.0),   // item 1: leaves end at 15.5 and 14.5
      Section("a[0]", 2, 5.5), Section("a[1]", 2, 4.5),
      Section("b", 1, 10.0), // item 2: its leaf ends at 14.5
      Section("b[0]", 5, 4.5),
  };
  Load(file);
  ASSERT_EQ(Data.GetItemCount(), 3);
  auto *checked = Data.GetItemChecked();
  EXPECT_EQ(Data.GetMaxDistance(), 16.0);
  checked[1] = 0;
  EXPECT_EQ(Data.GetMaxDistance(), 14.0);
  checked[2] = 0;
  EXPECT_EQ(Data.GetMaxDistance(), 2.0);
  checked[0] = 0;
  EXPECT_EQ(Data.GetMaxDistance(), 0.0);
}

TEST_F(ReaderTest, HeaderFieldsAreKept) {
  TRawDataFile file;
  file.Signature = "XYZW";
  file.Reserved1 = 3.0;
  file.Description = "run 7, soma clamp\r";
  file.Reserved2 = 2.0;
  file.TimeUnitFactor = 0.001;
  file.VariableUnit = "mV";
  Load(file, {0.25});
  const TDataFileHeader &h = Data.GetHeader();
  EXPECT_EQ(h.Signature, "XYZW");
  EXPECT_EQ(h.Reserved1, 3.0);
  EXPECT_EQ(h.Description, "run 7, soma clamp\r");
  EXPECT_EQ(h.SectionCount, 1);
  EXPECT_EQ(h.SegmentCount, 1);
  EXPECT_EQ(h.Reserved2, 2.0);
  EXPECT_EQ(Data.GetVariableUnit(), "mV");
  EXPECT_EQ(Data.GetVariableMin(), -80.0);
  EXPECT_EQ(Data.GetVariableMax(), 40.0);
  EXPECT_EQ(Data.GetTimeUnit(), "ms");
  EXPECT_EQ(Data.GetFirstFrameTime(), 0.25);
  EXPECT_EQ(Data.GetLastFrameTime(), 0.25);

  // The longest word and line the format allows; seconds.
  file.Signature = std::string(255, 'S');
  file.Description = std::string(254, 'd');
  file.TimeUnitFactor = 1.0;
  Load(file);
  EXPECT_EQ(Data.GetHeader().Signature.size(), 255u);
  EXPECT_EQ(Data.GetHeader().Description.size(), 254u);
  EXPECT_EQ(Data.GetTimeUnit(), "s");
}

TEST_F(ReaderTest, NothingLoadedGivesEmptyValues) {
  auto expectEmpty = [this] {
    EXPECT_TRUE(Data.GetFileName().empty());
    EXPECT_EQ(Data.GetTimeUnit(), "");
    EXPECT_EQ(Data.GetVariableUnit(), "");
    EXPECT_EQ(Data.GetMaxDistance(), 0.0);
    EXPECT_EQ(Data.GetItemCount(), 0);
    EXPECT_EQ(Data.GetFirstFrameTime(), 0.0);
    EXPECT_EQ(Data.GetHeader().TimeUnitFactor, 1.0);
    EXPECT_EQ(Data.FindNearestFrameTime(1.0), -1.0);
    EXPECT_EQ(Data.SeekFrame(1.0), -1.0);
    EXPECT_EQ(Data.StepForward(0), -1.0);
    EXPECT_EQ(Data.StepBack(0), -1.0);
    EXPECT_EQ(Data.CountFramesBetween(0.0, 1.0), -1);
    std::lock_guard lock(Data.GetFrameLock());
    EXPECT_EQ(Data.GetCurrentFrame(), nullptr);
  };
  expectEmpty();
  Data.Load((Dir / "missing.dat").string());
  EXPECT_EQ(Data.GetLoadError(), TDataFileError::CannotOpen);
  expectEmpty();
  // A directory opens for reading on Linux, but it is no data file.
  Data.Load(Dir.string());
  EXPECT_EQ(Data.GetLoadError(), TDataFileError::NotAFile);
  expectEmpty();
  // A failed load after a good one leaves nothing of the first.
  Load(TRawDataFile{});
  ASSERT_FALSE(Data.GetFileName().empty());
  Data.Load(Write("MTSD\n"));
  expectEmpty();
}

TEST_F(ReaderTest, FramesAfterTheLastWholeFrameAreIgnored) {
  TRawDataFile file;
  file.Sections = {Section("soma", 0, {}, 2)};
  file.Frames = FramesAt({0.0, 1.0, 2.0}, 2);
  // Most of a fourth frame: its time and one value.
  TRawDataFile::Put(file.Tail, 3.0);
  TRawDataFile::Put(file.Tail, 7.0);
  Data.Load(Write(file.Bytes()));
  ASSERT_EQ(Data.GetLoadError(), TDataFileError::None);
  EXPECT_EQ(Data.GetFrameCount(), 3);
  EXPECT_EQ(Data.GetFirstFrameTime(), 0.0);
  EXPECT_EQ(Data.GetLastFrameTime(), 2.0);
  // After loading the first frame is current.
  EXPECT_EQ(CurrentValue(1), 1.0);
  EXPECT_EQ(Data.StepForward(0), 1.0);
  EXPECT_EQ(Data.StepForward(0), 2.0);
  EXPECT_EQ(CurrentValue(0), 2000.0);
  EXPECT_EQ(Data.StepForward(0), -1.0);
  EXPECT_EQ(Data.SeekFrame(0.0), 0.0);
  EXPECT_EQ(Data.SeekFrame(2.9), 2.0);
  EXPECT_EQ(CurrentValue(1), 2001.0);
}

TEST_F(ReaderTest, FramesBetweenTwoTimesCountBothEnds) {
  Load(TRawDataFile{}, {0.0, 1.0, 2.0, 3.0});
  const struct {
    double First, Last;
    std::int64_t Count;
  } cases[] = {{0.0, 3.0, 4}, {1.0, 2.0, 2}, {0.5, 2.5, 2}, {2.0, 2.0, 1},
               {2.1, 2.9, 0}, {3.0, 0.0, 0}, {-9.0, 9.0, 4}};
  for (const auto &c : cases)
    EXPECT_EQ(Data.CountFramesBetween(c.First, c.Last), c.Count) << c.First << ".." << c.Last;
}

TEST_F(ReaderTest, NearestFrameTiesGoToTheEarlierFrame) {
  Load(TRawDataFile{}, {0.0, 1.0, 2.0});
  EXPECT_EQ(Data.FindNearestFrameTime(0.5), 0.0);
  EXPECT_EQ(Data.FindNearestFrameTime(0.6), 1.0);
  EXPECT_EQ(Data.FindNearestFrameTime(1.5), 1.0);
  EXPECT_EQ(Data.FindNearestFrameTime(-3.0), 0.0);
  EXPECT_EQ(Data.FindNearestFrameTime(7.0), 2.0);
  // Finding moves nothing.
  EXPECT_EQ(CurrentValue(0), 0.0);
  EXPECT_EQ(Data.StepForward(0), 1.0);

  EXPECT_EQ(Data.SeekFrame(-1.0), 0.0);
  EXPECT_EQ(CurrentValue(0), 0.0);
  EXPECT_EQ(Data.SeekFrame(1.4), 1.0);
  EXPECT_EQ(CurrentValue(0), 1000.0);
  EXPECT_EQ(Data.SeekFrame(9.0), 2.0);
  EXPECT_EQ(CurrentValue(0), 2000.0);
  EXPECT_EQ(Data.StepBack(0), 1.0);
}

// The nearest frame as found by scanning the times in order.
std::size_t ScanNearest(const std::vector<double> &times, double t) {
  if (!(t > times.front()))
    return 0;
  if (!(t < times.back()))
    return times.size() - 1;
  std::size_t previous = 0;
  for (std::size_t i = 0; i < times.size(); ++i) {
    if (t <= times[i])
      return times[i] - t >= t - times[previous] ? previous : i;
    previous = i;
  }
  return times.size() - 1;
}

TEST_F(ReaderTest, FrameSearchAgreesWithAScanOfTheTimes) {
  const std::vector<std::vector<double>> runs{
      {0.0, 0.5, 0.5, 1.0, 2.0, 2.0, 2.0, 3.25, 4.0, 10.0},
      // Out of order: the first frame at t or later still decides.
      {0.0, 5.0, 3.0, 4.0, 1.0, 10.0},
  };
  for (const std::vector<double> &times : runs) {
    Load(TRawDataFile{}, times);
    for (double t = -1.0; t <= 11.0; t += 0.125) {
      const std::size_t expected = ScanNearest(times, t);
      EXPECT_EQ(Data.FindNearestFrameTime(t), times[expected]) << "t = " << t;
      EXPECT_EQ(Data.SeekFrame(t), times[expected]) << "t = " << t;
      EXPECT_EQ(CurrentValue(0), 1000.0 * static_cast<double>(expected)) << "t = " << t;
    }
  }
}

// Long runs take several reads of the times: short frames are picked out of
// 1 MiB reads (65536 frames of one segment), frames over 16 KiB are read one
// time at a time.
TEST_F(ReaderTest, FrameSearchAgreesWithAScanInLongRuns) {
  std::vector<double> sorted(150000);
  for (std::size_t i = 0; i < sorted.size(); ++i)
    sorted[i] = 0.5 * static_cast<double>(i);
  // Equal times across the end of the first read.
  sorted[65536] = sorted[65535];
  std::vector<double> unsorted = sorted;
  // Out of order at the start and at the end of the second read.
  unsorted[65536] = 10.0;
  unsorted[131071] = 70000.0;
  std::vector<double> longFrames(40);
  for (std::size_t i = 1; i + 1 < longFrames.size(); ++i)
    longFrames[i] = static_cast<double>((i * 7) % 40);
  longFrames.back() = 40.0;

  const struct {
    std::vector<double> Times;
    int Segments;
  } runs[] = {{sorted, 1}, {unsorted, 1}, {longFrames, 2100}};
  std::mt19937 random(3);
  for (const auto &run : runs) {
    TRawDataFile file;
    file.Sections[0].SegmentCount = run.Segments;
    Load(file, run.Times);
    ASSERT_EQ(Data.GetFrameCount(), static_cast<std::int64_t>(run.Times.size()));
    std::vector<double> ts{0.25,    32767.5, 9.9,     10.0,    10.1,    32767.75, 32768.0,
                           32768.1, 65535.5, 65535.6, 69999.9, 70000.0, 70000.1};
    std::uniform_real_distribution<double> anyTime(-1.0, run.Times.back() + 1.0);
    for (int k = 0; k < 200; ++k)
      ts.push_back(anyTime(random));
    for (double t : ts) {
      const std::size_t expected = ScanNearest(run.Times, t);
      EXPECT_EQ(Data.FindNearestFrameTime(t), run.Times[expected]) << "t = " << t;
      EXPECT_EQ(Data.SeekFrame(t), run.Times[expected]) << "t = " << t;
      EXPECT_EQ(CurrentValue(0), 1000.0 * static_cast<double>(expected)) << "t = " << t;
    }
  }
}

TEST_F(ReaderTest, FrameSearchFailsWhenTheFileShrankSinceLoad) {
  TRawDataFile file;
  file.Frames = FramesAt({0.0, 1.0, 2.0, 3.0}, 1);
  const std::string path = Write(file.Bytes());
  Data.Load(path);
  ASSERT_EQ(Data.GetFrameCount(), 4);
  EXPECT_EQ(Data.StepForward(0), 1.0);
  fs::resize_file(path, fs::file_size(path) - 20);
  EXPECT_EQ(Data.FindNearestFrameTime(1.9), -1.0);
  EXPECT_EQ(Data.SeekFrame(1.9), -1.0);
  EXPECT_EQ(CurrentValue(0), 1000.0);
  // The ends still answer without the table.
  EXPECT_EQ(Data.SeekFrame(-1.0), 0.0);
}

TEST_F(ReaderTest, StepsStopAtBothEnds) {
  Load(TRawDataFile{}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ(Data.StepBack(0), -1.0);
  EXPECT_EQ(CurrentValue(0), 0.0);
  EXPECT_EQ(Data.StepForward(0), 1.0);
  EXPECT_EQ(Data.StepForward(2), 4.0);
  EXPECT_EQ(Data.StepBack(1), 2.0);
  EXPECT_EQ(Data.StepBack(5), 0.0);
  EXPECT_EQ(Data.StepForward(-3), 1.0);
  EXPECT_EQ(Data.SeekFrame(7.0), 7.0);
  EXPECT_EQ(Data.StepForward(5), 9.0);
  EXPECT_EQ(Data.StepForward(0), -1.0);
  EXPECT_EQ(CurrentValue(0), 9000.0);
  EXPECT_EQ(Data.StepBack(100), 0.0);

  // Times that are not numbers cannot stop the walk; the frame count does.
  Load(TRawDataFile{}, {0.0, NaN, NaN});
  EXPECT_TRUE(std::isnan(Data.StepForward(0)));
  EXPECT_TRUE(std::isnan(Data.StepForward(0)));
  EXPECT_EQ(Data.StepForward(0), -1.0);
  EXPECT_EQ(CurrentValue(0), 2000.0);
  EXPECT_TRUE(std::isnan(Data.StepBack(0)));
  EXPECT_EQ(Data.StepBack(0), 0.0);
  EXPECT_EQ(Data.StepBack(0), -1.0);
}

TEST_F(ReaderTest, FramesAreColouredThroughTheAttachedPalette) {
  TRawDataFile file;
  file.Sections = {Section("soma", 0, {}, 3)};
  file.Frames = {{0.0, 0.0, 50.0, 100.0}, {1.0, 100.0, 0.0, 19.9}};
  Data.Load(Write(file.Bytes()));
  ASSERT_EQ(Data.GetLoadError(), TDataFileError::None);
  auto colour = [this](int segment) {
    std::lock_guard lock(Data.GetFrameLock());
    const float *c = Data.GetCurrentColors() + 3 * segment;
    return TColor3f{c[0], c[1], c[2]};
  };
  const TColor3f black{0.0f, 0.0f, 0.0f}, blue{0.0f, 0.0f, 1.0f}, red{1.0f, 0.0f, 0.0f};
  // Without a palette the colours stay black; recolouring does nothing.
  Data.RecolorCurrentFrame();
  EXPECT_EQ(colour(2), black);

  TDataToColor palette;
  Data.SetPalette(&palette);
  Data.RecolorCurrentFrame();
  EXPECT_EQ(colour(0), black);
  EXPECT_EQ(colour(1), blue);
  EXPECT_EQ(colour(2), red);
  EXPECT_EQ(CurrentValue(1), 50.0);

  // What a view took for frame 0 stays intact while frame 1 is read.
  const double *frame0 = nullptr;
  const float *colours0 = nullptr;
  {
    std::lock_guard lock(Data.GetFrameLock());
    frame0 = Data.GetCurrentFrame();
    colours0 = Data.GetCurrentColors();
  }
  EXPECT_EQ(Data.StepForward(0), 1.0);
  EXPECT_EQ(frame0[0], 0.0);
  EXPECT_EQ(frame0[3], 100.0);
  EXPECT_EQ(colours0[6], 1.0f);
  EXPECT_EQ(colour(0), red);
  EXPECT_EQ(colour(2), black);

  palette.SetRange(0.0, 200.0);
  Data.RecolorCurrentFrame();
  EXPECT_EQ(colour(0), blue);
  EXPECT_EQ(CurrentValue(0), 100.0);
  EXPECT_EQ(Data.StepBack(0), 0.0);
  EXPECT_EQ(colour(2), blue);
}

TEST_F(ReaderTest, WriterFilesReadBack) {
  using TWriterSection = TNeuronDataWriter::TSection;
  std::mt19937 random(5);
  std::uniform_real_distribution<double> step(0.5, 3.0);
  auto section = [&](const std::string &name, int parent, int segments, int points) {
    TWriterSection s{.Name = name, .Parent = parent, .SegmentCount = segments, .Points = {}};
    double x = 0.0;
    for (int i = 0; i < points; ++i, x += step(random))
      s.Points.push_back({x, step(random), -step(random), 1.0 + step(random)});
    s.Length = TNeuronDataWriter::PathLength(s.Points);
    return s;
  };
  std::vector<std::vector<TWriterSection>> shapes(3);
  shapes[0] = {section("soma", -1, 1, 2)};
  for (int k = 0; k < 6; ++k) // a chain
    shapes[1].push_back(section("chain" + std::to_string(k), k - 1, 1 + k, 3 + k));
  for (int k = 0; k < 15; ++k) // a binary tree
    shapes[2].push_back(section("tree" + std::to_string(k), k == 0 ? -1 : (k - 1) / 2, 3, 7));

  for (const std::vector<TWriterSection> &sections : shapes) {
    const std::string path = (Dir / "written.dat").string();
    TNeuronDataWriter writer;
    ASSERT_TRUE(writer.Create(path, {}, sections)) << writer.GetError();
    const int segments = writer.GetSegmentCount();
    for (int f = 0; f < 5; ++f) {
      std::vector<double> values(static_cast<std::size_t>(segments));
      for (int s = 0; s < segments; ++s)
        values[static_cast<std::size_t>(s)] = 10.0 * f - s;
      ASSERT_TRUE(writer.WriteFrame(0.5 * f, values)) << writer.GetError();
    }
    ASSERT_TRUE(writer.Close()) << writer.GetError();

    Data.Load(path);
    ASSERT_EQ(Data.GetLoadError(), TDataFileError::None);
    ASSERT_EQ(Data.GetSections().size(), sections.size());
    EXPECT_EQ(Data.GetHeader().SegmentCount, segments);
    for (std::size_t k = 0; k < sections.size(); ++k) {
      const TDataFileSectionInfo &s = Data.GetSections()[k];
      EXPECT_EQ(s.Name, sections[k].Name);
      EXPECT_EQ(s.Parent, sections[k].Parent);
      EXPECT_EQ(s.SegmentCount, sections[k].SegmentCount);
      EXPECT_DOUBLE_EQ(s.Length, sections[k].Length);
      EXPECT_EQ(s.SegmentFirstPoint.size(), static_cast<std::size_t>(s.SegmentCount) + 1);
      EXPECT_EQ(s.SegmentFirstPoint.back(), s.PointCount);
    }
    EXPECT_EQ(Data.GetFrameCount(), 5);
    EXPECT_EQ(Data.SeekFrame(1.1), 1.0);
    EXPECT_EQ(CurrentValue(segments - 1), 20.0 - (segments - 1));
  }
}

// Malformed input, one kind at a time; each leaves the object empty.
using MalformedFileTest = ReaderTest;

TEST_F(MalformedFileTest, EveryTruncationIsRejected) {
  TRawDataFile file;
  file.Sections = {Section("soma", 0, {}, 2), Section("dend", 1, {}, 1)};
  file.Frames = FramesAt({0.0}, 3);
  const std::string bytes = file.Bytes();
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    Data.Load(Write(bytes.substr(0, size)));
    EXPECT_TRUE(Data.GetFileName().empty()) << size;
    const TDataFileError error = Data.GetLoadError();
    EXPECT_TRUE(size == 0 ? error == TDataFileError::Empty
                          : error == TDataFileError::Truncated ||
                                error == TDataFileError::CountBeyondFile ||
                                error == TDataFileError::NoFrame)
        << size;
  }
  Data.Load(Write(bytes));
  EXPECT_EQ(Data.GetLoadError(), TDataFileError::None);
}

TEST_F(MalformedFileTest, WordsOver255CharactersAreRejected) {
  TRawDataFile file;
  file.Signature = std::string(256, 'S');
  EXPECT_EQ(Reject(file), TDataFileError::WordTooLong);
  file = {};
  file.VariableUnit = std::string(256, 'u');
  EXPECT_EQ(Reject(file), TDataFileError::WordTooLong);
  file = {};
  file.Sections[0].Name = std::string(300, 'n');
  EXPECT_EQ(Reject(file), TDataFileError::WordTooLong);
}

TEST_F(MalformedFileTest, DescriptionOver255CharactersIsRejected) {
  TRawDataFile file;
  file.Description = std::string(255, 'd');
  EXPECT_EQ(Reject(file), TDataFileError::LineTooLong);
}

TEST_F(MalformedFileTest, CountsMustBeFiniteNotNegativeAnd32Bit) {
  for (double bad : {NaN, Inf, -Inf, -1.0, 2147483648.0, 1e300}) {
    TRawDataFile file;
    file.SectionCount = bad;
    EXPECT_EQ(Reject(file), TDataFileError::BadCount) << bad;
    file = {};
    file.SegmentCount = bad;
    EXPECT_EQ(Reject(file), TDataFileError::BadCount) << bad;
    file = {};
    file.Sections[0].Parent = bad;
    EXPECT_EQ(Reject(file), TDataFileError::BadCount) << bad;
    file = {};
    file.Sections[0].PointCount = bad;
    EXPECT_EQ(Reject(file), TDataFileError::BadCount) << bad;
  }
  // Counts truncate toward zero: -0.5 is no parent, 1.9 one segment.
  TRawDataFile file;
  file.Sections[0].Parent = -0.5;
  file.SegmentCount = 1.9;
  Load(file);
  EXPECT_EQ(Data.GetLoadError(), TDataFileError::None);
  EXPECT_EQ(Data.GetSections().at(0).Parent, -1);
}

TEST_F(MalformedFileTest, CountsBeyondWhatTheFileHoldsAreRejected) {
  TRawDataFile file;
  file.SectionCount = 1e6;
  EXPECT_EQ(Reject(file), TDataFileError::CountBeyondFile);
  file = {};
  file.SegmentCount = 2e9;
  EXPECT_EQ(Reject(file), TDataFileError::CountBeyondFile);
  file = {};
  file.Sections[0].PointCount = 1e9;
  EXPECT_EQ(Reject(file), TDataFileError::CountBeyondFile);
  file = {};
  // Two children announced, one section left to be one.
  file.Sections = {Section("soma", 0), Section("dend", 1)};
  file.Sections[0].ChildCount = 2;
  EXPECT_EQ(Reject(file), TDataFileError::CountBeyondFile);
}

TEST_F(MalformedFileTest, ParentMustBeAnEarlierSection) {
  TRawDataFile file;
  file.Sections = {Section("soma", 1)};
  EXPECT_EQ(Reject(file), TDataFileError::BadParent);
  file.Sections = {Section("soma", 0), Section("dend", 3), Section("late", 1)};
  EXPECT_EQ(Reject(file), TDataFileError::BadParent);
  file.Sections = {Section("soma", 0), Section("dend", 2)};
  EXPECT_EQ(Reject(file), TDataFileError::BadParent);
}

TEST_F(MalformedFileTest, LengthsAndPointsMustBeFiniteNumbers) {
  for (double bad : {-1.0, NaN, Inf}) {
    TRawDataFile file;
    file.Sections[0].Length = bad;
    EXPECT_EQ(Reject(file), TDataFileError::BadNumber) << bad;
  }
  for (int field = 0; field < 4; ++field) {
    TRawDataFile file;
    file.Sections[0].Length = 1.0;
    file.Sections[0].Points[1][field] = field % 2 ? NaN : Inf;
    EXPECT_EQ(Reject(file), TDataFileError::BadNumber) << field;
  }
}

TEST_F(MalformedFileTest, NoSectionsIsRejected) {
  TRawDataFile file;
  file.Sections.clear();
  file.Frames = {{0.0}};
  EXPECT_EQ(Reject(file), TDataFileError::NoSections);
}

TEST_F(MalformedFileTest, SectionWithoutSegmentsIsRejected) {
  TRawDataFile file;
  file.Sections = {Section("soma", 0), Section("dend", 1, {}, 0)};
  file.SegmentCount = 1;
  EXPECT_EQ(Reject(file), TDataFileError::NoSegments);
}

TEST_F(MalformedFileTest, SectionWithoutPointsIsRejected) {
  TRawDataFile file;
  file.Sections = {Section("soma", 0), Section("dend", 1)};
  file.Sections[0].Points.clear();
  file.Sections[1].Points = OnXAxis({0, 1, 2, 3, 4, 5});
  file.Frames = FramesAt({0.0}, 2);
  EXPECT_EQ(Reject(file), TDataFileError::NoPoints);
}

TEST_F(MalformedFileTest, SegmentCountsMustAddUpToTheHeader) {
  TRawDataFile file;
  file.Sections = {Section("soma", 0), Section("dend", 1)};
  file.SegmentCount = 3;
  file.Frames = FramesAt({0.0, 1.0}, 3);
  EXPECT_EQ(Reject(file), TDataFileError::SegmentSum);
  file.SegmentCount = 1;
  EXPECT_EQ(Reject(file), TDataFileError::SegmentSum);
}

TEST_F(MalformedFileTest, SectionsWithoutACompleteFrameAreRejected) {
  TRawDataFile file;
  file.Frames.clear();
  EXPECT_EQ(Reject(file), TDataFileError::NoFrame);
  file.Tail = std::string(15, '\0');
  EXPECT_EQ(Reject(file), TDataFileError::NoFrame);
  std::lock_guard lock(Data.GetFrameLock());
  EXPECT_EQ(Data.GetCurrentFrame(), nullptr);
  EXPECT_EQ(Data.GetCurrentColors(), nullptr);
}

TEST_F(MalformedFileTest, TheReasonIsToldInWords) {
  const auto file = [](auto change) {
    TRawDataFile raw;
    change(raw);
    return raw.Bytes();
  };
  const std::string good = file([](TRawDataFile &) {});
  const std::vector<std::pair<std::string, std::string>> cases{
      {"", "the file is empty"},
      {"GIF89a and then some", "not a simulation data file: it does not start with MTSD"},
      {file([](TRawDataFile &f) { f.Signature = "MTSX"; }).substr(0, 30),
       "not a simulation data file: it does not start with MTSD"},
      {good.substr(0, 30), "the header is cut short"},
      {good.substr(0, 100), "the header counts more than the file holds"},
      {file([](TRawDataFile &f) { f.SectionCount = -3; }), "a count in the header is negative, "
                                                           "not a number or too large"},
      {file([](TRawDataFile &f) {
         f.Sections = {Section("soma", 0), Section("dend", 3)};
       }),
       "section 2 names a parent that does not come before it"},
      {file([](TRawDataFile &f) { f.Sections[0].Length = -1.0; }),
       "section 1 has a length, coordinate or diameter that is negative or not finite"},
      {file([](TRawDataFile &f) { f.Frames.clear(); }), "no whole frame follows the sections"},
      {file([](TRawDataFile &f) { f.SegmentCount = 3; }),
       "the sections' segments do not add up to the header's count"},
      {good, ""},
  };
  for (const auto &[bytes, reason] : cases) {
    Data.Load(Write(bytes));
    EXPECT_EQ(Data.DescribeLoadError("MTSD"), reason) << bytes.size();
  }
  Data.Load((Dir / "missing.dat").string());
  EXPECT_EQ(Data.DescribeLoadError("MTSD"), "no such file");
  Data.Load(Dir.string());
  EXPECT_EQ(Data.DescribeLoadError("MTSD"), "a folder, not a file");
}

TEST_F(MalformedFileTest, ChildrenBeyondChildCountAreNotRecorded) {
  TRawDataFile file;
  file.Sections = {Section("soma", 0), Section("a", 1), Section("b", 1)};
  file.Sections[0].ChildCount = 1;
  Load(file);
  ASSERT_EQ(Data.GetLoadError(), TDataFileError::None);
  EXPECT_EQ(Data.GetSections()[0].Children, (std::vector<std::int32_t>{1}));
  EXPECT_EQ(Data.GetSections()[2].Parent, 0);
  EXPECT_EQ(Data.GetItemCount(), 3);

  // More children announced than found: only the found ones, no empty slots.
  file.Sections = {Section("soma", 0), Section("a", 1), Section("b", 0)};
  file.Sections[0].ChildCount = 2;
  Load(file);
  ASSERT_EQ(Data.GetLoadError(), TDataFileError::None);
  EXPECT_EQ(Data.GetSections()[0].ChildCount, 1);
  EXPECT_EQ(Data.GetSections()[0].Children, (std::vector<std::int32_t>{1}));
}

} // namespace
