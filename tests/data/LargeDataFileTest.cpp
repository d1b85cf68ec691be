#include "data/NeuronDataFile.h"

#include "RawDataFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int Segments = 65536;
constexpr std::int64_t FrameSize = 8 * (Segments + 1);
constexpr std::int64_t TwoGiB = std::int64_t{1} << 31;

double TimeOf(std::int64_t frame) {
  return 0.1 * static_cast<double>(frame);
}

// A result file a little over 2 GiB, written sparsely: every frame gets its
// time, three frames get their values too (value of segment s in frame f:
// f + s / 65536).
class LargeDataFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    Path = fs::temp_directory_path() / ("dendrovia-large-" + std::to_string(getpid()) + ".dat");
    TRawDataFile file;
    file.Sections[0].SegmentCount = Segments;
    const std::string morphology = file.Morphology();
    FramesStart = static_cast<std::int64_t>(morphology.size());
    FrameCount = (TwoGiB - FramesStart) / FrameSize + 40;
    BigFrame = (TwoGiB - FramesStart) / FrameSize + 1;

    std::FILE *out = std::fopen(Path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(morphology.data(), 1, morphology.size(), out);
    std::vector<double> frame(Segments + 1);
    for (std::int64_t f = 0; f < FrameCount; ++f) {
      ASSERT_EQ(fseeko(out, FramesStart + f * FrameSize, SEEK_SET), 0);
      frame[0] = TimeOf(f);
      const bool whole = f == 0 || f == BigFrame || f == FrameCount - 1;
      for (int s = 0; whole && s < Segments; ++s)
        frame[static_cast<std::size_t>(s) + 1] = static_cast<double>(f) + s / 65536.0;
      ASSERT_EQ(std::fwrite(frame.data(), sizeof(double), whole ? frame.size() : 1, out),
                whole ? frame.size() : 1u);
    }
    // Half a frame more, as a run still being written leaves it.
    ASSERT_EQ(fseeko(out, FramesStart + FrameCount * FrameSize + FrameSize / 2, SEEK_SET), 0);
    std::fputc(1, out);
    ASSERT_EQ(std::fclose(out), 0);
    ASSERT_GT(static_cast<std::int64_t>(fs::file_size(Path)), TwoGiB);
  }
  void TearDown() override { fs::remove(Path); }

  double Value(int segment) {
    std::lock_guard lock(Data.GetFrameLock());
    return Data.GetCurrentFrame()[1 + segment];
  }

  fs::path Path;
  std::int64_t FramesStart = 0;
  std::int64_t FrameCount = 0;
  std::int64_t BigFrame = 0;
  TNeuronDataFile Data;
};

TEST_F(LargeDataFileTest, FileAbove2GiBLoadsAndPlays) {
  Data.Load(Path.string());
  ASSERT_EQ(Data.GetLoadError(), TDataFileError::None);
  EXPECT_EQ(Data.GetFrameCount(), FrameCount);
  EXPECT_EQ(Data.GetFirstFrameTime(), 0.0);
  EXPECT_EQ(Data.GetLastFrameTime(), TimeOf(FrameCount - 1));
  EXPECT_EQ(Value(Segments - 1), (Segments - 1) / 65536.0);

  // A frame that starts beyond 2 GiB.
  EXPECT_EQ(Data.FindNearestFrameTime(TimeOf(BigFrame) + 0.04), TimeOf(BigFrame));
  EXPECT_EQ(Data.SeekFrame(TimeOf(BigFrame) - 0.04), TimeOf(BigFrame));
  EXPECT_EQ(Value(0), static_cast<double>(BigFrame));
  EXPECT_EQ(Value(12345), static_cast<double>(BigFrame) + 12345 / 65536.0);

  EXPECT_EQ(Data.StepForward(1000000), TimeOf(FrameCount - 1));
  EXPECT_EQ(Value(7), static_cast<double>(FrameCount - 1) + 7 / 65536.0);
  EXPECT_EQ(Data.StepForward(0), -1.0);
  EXPECT_EQ(Data.StepBack(0), TimeOf(FrameCount - 2));
  EXPECT_EQ(Data.StepBack(1000000), 0.0);
  EXPECT_EQ(Value(1), 1 / 65536.0);
}

} // namespace
