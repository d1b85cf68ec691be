#include "tools/SampleNeuron.h"

#include "data/NeuronDataFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using TShape = TSampleNeuron::TShape;

class SampleNeuronFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("dendrovia-sample-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  fs::path Dir;
};

// The time of the highest value of one segment over the first 20 ms, and that
// value.
std::pair<double, double> Peak(const TSampleNeuron &neuron, int segment) {
  std::vector<double> values(static_cast<size_t>(neuron.GetSegmentCount()));
  std::pair<double, double> best{0.0, -1e9};
  for (double t = 0.0; t < 20.0; t += 0.01) {
    neuron.FillFrame(t, values);
    if (values[static_cast<size_t>(segment)] > best.second)
      best = {t, values[static_cast<size_t>(segment)]};
  }
  return best;
}

} // namespace

TEST(SampleNeuronTest, SharesOutExactTotalsAndNamesSectionsLikeNeuron) {
  const TSampleNeuron neuron(TShape{.Sections = 25, .Trunks = 3, .Segments = 101, .Points = 997});
  const auto &sections = neuron.GetSections();
  ASSERT_EQ(sections.size(), 25u);
  EXPECT_EQ(neuron.GetSegmentCount(), 101);
  EXPECT_EQ(neuron.GetPointCount(), 997);
  EXPECT_EQ(sections[0].Name, "soma");
  EXPECT_EQ(sections[0].Parent, -1);
  EXPECT_EQ(sections[1].Name, "axon");
  EXPECT_EQ(sections[1].Parent, 0);
  int trunks = 0;
  int itemStart = 0;
  for (size_t i = 2; i < sections.size(); ++i) {
    EXPECT_EQ(sections[i].Name, "dend[" + std::to_string(i - 2) + "]");
    if (sections[i].Parent == 0) {
      ++trunks;
      itemStart = static_cast<int>(i);
    } else {
      // Every trunk's subtree follows it without sections of another trunk.
      EXPECT_GE(sections[i].Parent, itemStart) << i;
      EXPECT_LT(sections[i].Parent, static_cast<int>(i)) << i;
    }
  }
  EXPECT_EQ(trunks, 3);
  for (const auto &section : sections) {
    EXPECT_GE(section.SegmentCount, 1);
    EXPECT_GE(section.Points.size(), 2u);
    EXPECT_NEAR(section.Length, TNeuronDataWriter::PathLength(section.Points), 1e-9);
    for (const auto &p : section.Points)
      EXPECT_GT(p.Diameter, 0.0);
  }
  // Daughters are thinner than their trunk, and branches start where their
  // parent ends.
  for (size_t i = 2; i < sections.size(); ++i) {
    if (sections[i].Parent <= 0)
      continue;
    const auto &parent = sections[static_cast<size_t>(sections[i].Parent)];
    EXPECT_LE(sections[i].Points.front().Diameter, parent.Points.front().Diameter);
    EXPECT_NEAR(sections[i].Points.front().X, parent.Points.back().X, 1e-9);
    EXPECT_NEAR(sections[i].Points.front().Y, parent.Points.back().Y, 1e-9);
  }
}

TEST(SampleNeuronTest, SameSeedSameNeuronOtherSeedOtherNeuron) {
  const TShape shape{.Sections = 30, .Trunks = 4, .Seed = 5};
  const TSampleNeuron a(shape);
  const TSampleNeuron b(shape);
  TShape other = shape;
  other.Seed = 6;
  const TSampleNeuron c(other);
  ASSERT_EQ(a.GetSections().size(), b.GetSections().size());
  EXPECT_EQ(a.GetSections().back().Points.back().X, b.GetSections().back().Points.back().X);
  EXPECT_NE(a.GetSections().back().Points.back().X, c.GetSections().back().Points.back().X);
  std::vector<double> va(static_cast<size_t>(a.GetSegmentCount()));
  std::vector<double> vb(va.size());
  a.FillFrame(3.3, va);
  b.FillFrame(3.3, vb);
  EXPECT_EQ(va, vb);
}

TEST(SampleNeuronTest, SpikeStartsAtTheSomaAndFadesOutward) {
  const TSampleNeuron neuron(TShape{.Sections = 40, .Trunks = 2, .Segments = 200});
  const auto &sections = neuron.GetSections();
  // The last section lies at the end of the second trunk's depth-first walk:
  // a distal leaf.
  int first = 0;
  for (size_t i = 0; i + 1 < sections.size(); ++i)
    first += sections[i].SegmentCount;
  const int distal = first + sections.back().SegmentCount - 1;
  const int trunk = first - 1 - [&] {
    int n = 0;
    for (size_t i = 2; i + 1 < sections.size(); ++i)
      n += sections[i].SegmentCount;
    return n;
  }();

  std::vector<double> rest(static_cast<size_t>(neuron.GetSegmentCount()));
  neuron.FillFrame(0.0, rest);
  for (double v : rest)
    EXPECT_DOUBLE_EQ(v, -65.0);

  const auto [somaTime, somaPeak] = Peak(neuron, 0);
  const auto [axonTime, axonPeak] =
      Peak(neuron, sections[0].SegmentCount + sections[1].SegmentCount - 1);
  const auto [trunkTime, trunkPeak] = Peak(neuron, trunk + 1);
  const auto [distalTime, distalPeak] = Peak(neuron, distal);
  EXPECT_NEAR(somaPeak, 40.0, 1.0);
  EXPECT_GT(axonTime, somaTime);
  EXPECT_NEAR(axonPeak, somaPeak, 0.5) << "the axon carries the spike unchanged";
  EXPECT_GE(trunkTime, somaTime);
  EXPECT_GT(distalTime, trunkTime);
  EXPECT_LT(distalPeak, trunkPeak);
  EXPECT_LE(trunkPeak, somaPeak);
  EXPECT_GT(distalPeak, -65.0);
}

TEST(SampleNeuronTest, RefusesShapesItCannotBuild) {
  EXPECT_THROW(TSampleNeuron(TShape{.Sections = 0}), std::invalid_argument);
  EXPECT_THROW(TSampleNeuron(TShape{.Sections = 5, .Trunks = 0}), std::invalid_argument);
  EXPECT_THROW(TSampleNeuron(TShape{.Sections = 5, .Segments = 4}), std::invalid_argument);
  EXPECT_THROW(TSampleNeuron(TShape{.Sections = 5, .Points = 9}), std::invalid_argument);
  const TSampleNeuron lone(TShape{.Sections = 1, .Trunks = 0});
  EXPECT_EQ(lone.GetSections().size(), 1u);
  const TSampleNeuron fewTrunks(TShape{.Sections = 4, .Trunks = 9});
  EXPECT_EQ(fewTrunks.GetSections().size(), 4u);
}

TEST_F(SampleNeuronFileTest, ReaderLoadsSamplesOfSeveralShapes) {
  const struct {
    TShape Shape;
    int Frames;
    int Items;
  } cases[] = {
      {TShape{.Sections = 1, .Trunks = 0}, 3, 1},
      {TShape{.Sections = 2, .Segments = 7, .Points = 9}, 50, 2},
      {TShape{.Sections = 9, .Trunks = 3, .Seed = 2}, 120, 5},
      {TShape{.Sections = 150, .Trunks = 6, .Segments = 600, .Points = 5000, .Seed = 9}, 10, 8},
  };
  for (const auto &c : cases) {
    const TSampleNeuron neuron(c.Shape);
    const std::string path = (Dir / "sample.dat").string();
    std::string error;
    const std::string description = neuron.Describe(c.Frames, 0.025);
    ASSERT_TRUE(neuron.Write(path, c.Frames, 0.025, description, error)) << error;

    TNeuronDataFile data;
    data.Load(path);
    ASSERT_EQ(data.GetLoadError(), TDataFileError::None) << c.Shape.Sections;
    EXPECT_EQ(data.GetHeader().Description, description);
    EXPECT_EQ(data.GetTimeUnit(), "ms");
    EXPECT_EQ(data.GetVariableUnit(), "mV");
    EXPECT_EQ(data.GetHeader().SectionCount, c.Shape.Sections);
    EXPECT_EQ(data.GetHeader().SegmentCount, neuron.GetSegmentCount());
    EXPECT_EQ(data.GetItemCount(), c.Items);
    EXPECT_EQ(data.GetFrameCount(), c.Frames);
    EXPECT_DOUBLE_EQ(data.GetLastFrameTime(), 0.025 * (c.Frames - 1));
    for (size_t i = 0; i < neuron.GetSections().size(); ++i)
      EXPECT_EQ(data.GetSections()[i].Name, neuron.GetSections()[i].Name);

    // The frames hold what the neuron computes, and the range spans them.
    std::vector<double> expected(static_cast<size_t>(neuron.GetSegmentCount()));
    const double t = data.SeekFrame(0.025 * (c.Frames / 2));
    neuron.FillFrame(t, expected);
    std::lock_guard lock(data.GetFrameLock());
    const double *frame = data.GetCurrentFrame();
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(frame[1 + i], expected[i]);
      EXPECT_GE(frame[1 + i], data.GetVariableMin());
      EXPECT_LE(frame[1 + i], data.GetVariableMax());
    }
  }
}

TEST_F(SampleNeuronFileTest, WriteReportsBadRequests) {
  const TSampleNeuron neuron(TShape{.Sections = 3});
  std::string error;
  EXPECT_FALSE(neuron.Write((Dir / "a.dat").string(), 0, 0.025, "", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(neuron.Write((Dir / "a.dat").string(), 10, 0.0, "", error));
  EXPECT_FALSE(neuron.Write((Dir / "a.dat").string(), 10, 0.025, "two\nlines", error));
  EXPECT_FALSE(neuron.Write((Dir / "none" / "a.dat").string(), 10, 0.025, "", error));
}
