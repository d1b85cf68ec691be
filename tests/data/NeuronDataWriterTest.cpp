#include "data/NeuronDataWriter.h"

#include "data/NeuronDataFile.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using TSection = TNeuronDataWriter::TSection;
using THeader = TNeuronDataWriter::THeader;

std::vector<TSection> TwoSections() {
  TSection soma{
      .Name = "soma", .Length = 10.0, .SegmentCount = 1, .Points = {{0, 0, 0, 10}, {10, 0, 0, 10}}};
  TSection dend{.Name = "dend[0]",
                .Parent = 0,
                .Length = 5.0,
                .SegmentCount = 2,
                .Points = {{10, 0, 0, 2}, {13, 4, 0, 1}}};
  return {soma, dend};
}

// Reads the file back field by field, the way the reader sees it.
class TByteCursor {
public:
  explicit TByteCursor(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    Bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::string Word() {
    const size_t end = Bytes.find('\n', Pos);
    std::string word = Bytes.substr(Pos, end - Pos);
    Pos = end + 1;
    return word;
  }
  double Double() {
    double v = 0.0;
    std::memcpy(&v, Bytes.data() + Pos, sizeof v);
    Pos += sizeof v;
    return v;
  }
  unsigned char Peek() const { return static_cast<unsigned char>(Bytes[Pos]); }
  size_t Left() const { return Bytes.size() - Pos; }
  size_t Position() const { return Pos; }
  // Moves past the header fields up to the unit and returns the position of
  // the range.
  size_t SkipToRange() {
    Word();
    Double();
    Word();
    for (int i = 0; i < 4; ++i)
      Double();
    Word();
    return Pos;
  }

private:
  std::string Bytes;
  size_t Pos = 0;
};

bool IsBlank(unsigned char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

double FromBits(std::uint64_t bits) {
  return std::bit_cast<double>(bits);
}

class NeuronDataWriterTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("dendrovia-writer-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
    Path = (Dir / "run.dat").string();
  }
  void TearDown() override { fs::remove_all(Dir); }

  fs::path Dir;
  std::string Path;
};

} // namespace

TEST_F(NeuronDataWriterTest, WritesHeaderSectionsAndFramesInFileOrder) {
  THeader header;
  header.Description = "two sections, three frames";
  header.VariableMin = -80.0;
  header.VariableMax = 40.0;
  TNeuronDataWriter writer;
  ASSERT_TRUE(writer.Create(Path, header, TwoSections())) << writer.GetError();
  EXPECT_EQ(writer.GetSegmentCount(), 3);
  for (int f = 0; f < 3; ++f) {
    const double values[] = {-65.0 + f, -66.0 + f, -67.0 + f};
    ASSERT_TRUE(writer.WriteFrame(0.025 * f, values)) << writer.GetError();
  }
  EXPECT_EQ(writer.GetFrameCount(), 3);
  ASSERT_TRUE(writer.Close()) << writer.GetError();
  EXPECT_FALSE(writer.IsOpen());

  TByteCursor in(Path);
  EXPECT_EQ(in.Word(), "MTSD");
  EXPECT_EQ(in.Double(), 0.0);
  EXPECT_EQ(in.Word(), "two sections, three frames");
  EXPECT_EQ(in.Double(), 2.0);
  EXPECT_EQ(in.Double(), 3.0);
  EXPECT_EQ(in.Double(), 1.0);
  EXPECT_EQ(in.Double(), 0.001);
  EXPECT_EQ(in.Word(), "mV");
  EXPECT_EQ(in.Double(), -80.0);
  EXPECT_EQ(in.Double(), 40.0);

  EXPECT_EQ(in.Word(), "soma");
  const double somaFields[] = {0, 1, 0, 0, 10, 1, 2, 0, 0, 0, 10, 10, 0, 0, 10};
  for (double expected : somaFields)
    EXPECT_EQ(in.Double(), expected);
  EXPECT_EQ(in.Word(), "dend[0]");
  const double dendFields[] = {1, 0, 0, 0, 5, 2, 2, 10, 0, 0, 2, 13, 4, 0, 1};
  for (double expected : dendFields)
    EXPECT_EQ(in.Double(), expected);

  EXPECT_EQ(in.Left(), 3 * 32u);
  for (int f = 0; f < 3; ++f) {
    EXPECT_EQ(in.Double(), 0.025 * f);
    EXPECT_EQ(in.Double(), -65.0 + f);
    EXPECT_EQ(in.Double(), -66.0 + f);
    EXPECT_EQ(in.Double(), -67.0 + f);
  }
}

TEST_F(NeuronDataWriterTest, ChildCountsFollowTheParents) {
  std::vector<TSection> sections = TwoSections();
  sections.push_back(sections[1]);
  sections.back().Name = "dend[1]";
  sections.push_back(sections[1]);
  sections.back().Name = "dend[1][0]";
  sections.back().Parent = 2;
  TNeuronDataWriter writer;
  ASSERT_TRUE(writer.Create(Path, THeader{}, sections)) << writer.GetError();
  EXPECT_FALSE(writer.Close()) << "a file without frames does not load";
  EXPECT_FALSE(writer.IsOpen());

  TByteCursor in(Path);
  in.SkipToRange();
  in.Double();
  in.Double();
  const double expected[][2] = {{0, 2}, {1, 0}, {1, 1}, {3, 0}};
  for (const auto &[parent, children] : expected) {
    in.Word();
    EXPECT_EQ(in.Double(), parent);
    EXPECT_EQ(in.Double(), children);
    for (int i = 0; i < 5 + 4 * 2; ++i)
      in.Double();
  }
  EXPECT_EQ(in.Left(), 0u);
}

TEST(NeuronDataWriterAfterWordTest, MovesValuesOffWhiteSpaceFirstBytesTowardMinusInfinity) {
  for (std::uint64_t low : {0x09u, 0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x20u}) {
    for (std::uint64_t high : {0x4050400000000000ull, 0xC054000000000000ull}) {
      const double v = FromBits(high | low);
      const double moved = TNeuronDataWriter::AfterWord(v);
      EXPECT_LT(moved, v);
      EXPECT_FALSE(IsBlank(static_cast<unsigned char>(std::bit_cast<std::uint64_t>(moved))));
      // Only the few ulps needed to leave the white-space bytes.
      const auto distance = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(moved)) -
                            static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(v));
      EXPECT_LE(std::abs(distance), 5) << std::hex << low;
    }
  }
  EXPECT_EQ(TNeuronDataWriter::AfterWord(-80.0), -80.0);
  EXPECT_EQ(TNeuronDataWriter::AfterWord(0.1), 0.1);
  EXPECT_TRUE(std::isinf(TNeuronDataWriter::AfterWord(-HUGE_VAL)));
}

TEST_F(NeuronDataWriterTest, RangeAfterTheUnitNeverStartsWithWhiteSpace) {
  const double awkward = FromBits(0xC05040000000000Dull);
  ASSERT_TRUE(IsBlank(static_cast<unsigned char>(std::bit_cast<std::uint64_t>(awkward))));
  THeader header;
  header.VariableMin = awkward;
  header.VariableMax = 50.0;
  header.Reserved1 = FromBits(0x3FF0000000000020ull);
  TNeuronDataWriter writer;
  ASSERT_TRUE(writer.Create(Path, header, TwoSections()));
  const double values[] = {0, 0, 0};
  ASSERT_TRUE(writer.WriteFrame(0.0, values));
  ASSERT_TRUE(writer.Close());

  TByteCursor in(Path);
  in.Word();
  EXPECT_FALSE(IsBlank(in.Peek()));
  EXPECT_LT(in.Double(), 1.0 + 1e-12);
  in.Word();
  for (int i = 0; i < 4; ++i)
    in.Double();
  in.Word();
  EXPECT_FALSE(IsBlank(in.Peek()));
  const double min = in.Double();
  EXPECT_LT(min, awkward);
  EXPECT_NEAR(min, awkward, 1e-12);
  EXPECT_EQ(in.Double(), 50.0);
}

TEST_F(NeuronDataWriterTest, PatchRangeRewritesOnlyTheRange) {
  TNeuronDataWriter writer;
  ASSERT_TRUE(writer.Create(Path, THeader{}, TwoSections()));
  const double values[] = {1, 2, 3};
  ASSERT_TRUE(writer.WriteFrame(0.0, values));
  ASSERT_TRUE(writer.PatchRange(FromBits(0x4000000000000020ull), 99.0)) << writer.GetError();
  ASSERT_TRUE(writer.WriteFrame(1.0, values));
  ASSERT_TRUE(writer.PatchRange(-70.0, 30.0));
  EXPECT_FALSE(writer.PatchRange(NAN, 30.0));
  ASSERT_TRUE(writer.Close());

  TByteCursor in(Path);
  in.SkipToRange();
  EXPECT_EQ(in.Double(), -70.0);
  EXPECT_EQ(in.Double(), 30.0);
  // Two section records (name, 7 fields, 2 points) and two frames follow.
  EXPECT_EQ(fs::file_size(Path), in.Position() + (5 + 56 + 64) + (8 + 56 + 64) + 2 * 32);
}

TEST_F(NeuronDataWriterTest, RefusesHeadersAndSectionsTheReaderWouldReject) {
  struct TCase {
    const char *What;
    THeader Header;
    std::vector<TSection> Sections;
  };
  std::vector<TCase> cases;
  const auto withHeader = [&](const char *what, auto change) {
    TCase c{what, THeader{}, TwoSections()};
    change(c.Header);
    cases.push_back(c);
  };
  const auto withSections = [&](const char *what, auto change) {
    TCase c{what, THeader{}, TwoSections()};
    change(c.Sections);
    cases.push_back(c);
  };
  withHeader("empty signature", [](THeader &h) { h.Signature.clear(); });
  withHeader("signature with a space", [](THeader &h) { h.Signature = "MT SD"; });
  withHeader("signature of 256 characters", [](THeader &h) { h.Signature.assign(256, 'M'); });
  withHeader("unit with a tab", [](THeader &h) { h.VariableUnit = "m\tV"; });
  withHeader("unit with a NUL", [](THeader &h) { h.VariableUnit = std::string("m\0V", 3); });
  withHeader("empty unit", [](THeader &h) { h.VariableUnit.clear(); });
  withHeader("two-line description", [](THeader &h) { h.Description = "a\nb"; });
  withHeader("long description", [](THeader &h) { h.Description.assign(255, 'd'); });
  withHeader("infinite time unit", [](THeader &h) { h.TimeUnitFactor = HUGE_VAL; });
  withHeader("NaN range", [](THeader &h) { h.VariableMax = NAN; });
  withSections("no sections", [](std::vector<TSection> &s) { s.clear(); });
  withSections("self parent", [](std::vector<TSection> &s) { s[1].Parent = 1; });
  withSections("later parent", [](std::vector<TSection> &s) { s[0].Parent = 1; });
  withSections("parent below -1", [](std::vector<TSection> &s) { s[1].Parent = -2; });
  withSections("no segments", [](std::vector<TSection> &s) { s[1].SegmentCount = 0; });
  withSections("no points", [](std::vector<TSection> &s) { s[1].Points.clear(); });
  withSections("negative length", [](std::vector<TSection> &s) { s[0].Length = -1.0; });
  withSections("NaN diameter", [](std::vector<TSection> &s) { s[0].Points[1].Diameter = NAN; });
  withSections("name with space", [](std::vector<TSection> &s) { s[0].Name = "so ma"; });
  withSections("too many segments", [](std::vector<TSection> &s) {
    s[0].SegmentCount = std::numeric_limits<int>::max();
  });

  for (const TCase &c : cases) {
    TNeuronDataWriter writer;
    EXPECT_FALSE(writer.Create(Path, c.Header, c.Sections)) << c.What;
    EXPECT_FALSE(writer.GetError().empty()) << c.What;
    EXPECT_FALSE(writer.IsOpen()) << c.What;
    EXPECT_FALSE(fs::exists(Path)) << c.What;
  }

  THeader longest;
  longest.Signature.assign(255, 'M');
  longest.Description.assign(254, 'd');
  TNeuronDataWriter writer;
  EXPECT_TRUE(writer.Create(Path, longest, TwoSections())) << writer.GetError();
  EXPECT_FALSE(writer.Create(Path, longest, TwoSections())) << "second Create while open";
  const double values[] = {0, 0, 0};
  EXPECT_TRUE(writer.WriteFrame(0.0, values));
  EXPECT_TRUE(writer.Close());
}

TEST_F(NeuronDataWriterTest, RefusesFramesOfTheWrongSizeOrOrder) {
  TNeuronDataWriter writer;
  const double values[] = {1, 2, 3, 4};
  EXPECT_FALSE(writer.WriteFrame(0.0, std::span(values, 3))) << "before Create";
  ASSERT_TRUE(writer.Create(Path, THeader{}, TwoSections()));
  EXPECT_FALSE(writer.WriteFrame(0.0, std::span(values, 2)));
  EXPECT_FALSE(writer.WriteFrame(0.0, std::span(values, 4)));
  EXPECT_FALSE(writer.WriteFrame(NAN, std::span(values, 3)));
  ASSERT_TRUE(writer.WriteFrame(-1.0, std::span(values, 3)));
  EXPECT_FALSE(writer.WriteFrame(-1.0, std::span(values, 3)));
  EXPECT_FALSE(writer.WriteFrame(-2.0, std::span(values, 3)));
  ASSERT_TRUE(writer.WriteFrame(0.5, std::span(values, 3)));
  EXPECT_EQ(writer.GetFrameCount(), 2);
  EXPECT_EQ(writer.GetLastFrameTime(), 0.5);
  ASSERT_TRUE(writer.Close());
  EXPECT_FALSE(writer.WriteFrame(1.0, std::span(values, 3))) << "after Close";
}

TEST_F(NeuronDataWriterTest, ReportsFilesThatCannotBeWritten) {
  TNeuronDataWriter writer;
  EXPECT_FALSE(writer.Create((Dir / "no" / "such" / "dir.dat").string(), THeader{}, TwoSections()));
  EXPECT_NE(writer.GetError().find("cannot create"), std::string::npos);

  if (!fs::exists("/dev/full"))
    GTEST_SKIP() << "no /dev/full";
  // A full disk shows at the latest when the buffers are flushed.
  ASSERT_TRUE(writer.Create("/dev/full", THeader{}, TwoSections()));
  const std::vector<double> values(3, 0.0);
  bool failed = false;
  for (int f = 0; f < 100000 && !failed; ++f)
    failed = !writer.WriteFrame(f, values);
  EXPECT_TRUE(failed);
  EXPECT_FALSE(writer.WriteFrame(1e9, values));
  EXPECT_FALSE(writer.Close());
  EXPECT_FALSE(writer.IsOpen());

  std::vector<TSection> big = TwoSections();
  big[0].Points.assign(100000, {});
  EXPECT_FALSE(writer.Create("/dev/full", THeader{}, big));
  EXPECT_FALSE(writer.IsOpen());
}

TEST_F(NeuronDataWriterTest, ReaderLoadsWhatTheWriterWrote) {
  THeader header;
  header.Signature = "MTSD";
  header.Reserved1 = 4.5;
  header.Description = "round trip, with spaces and \"quotes\"\r";
  header.Reserved2 = -2.0;
  header.TimeUnitFactor = 1.0;
  header.VariableUnit = "uS/cm2";
  header.VariableMin = FromBits(0xC05040000000000Aull);
  header.VariableMax = 1e-3;
  std::vector<TSection> sections = TwoSections();
  sections[0].Reserved1 = 7.0;
  sections[1].Reserved2 = -7.0;
  sections.push_back(TSection{.Name = std::string(255, 'n'),
                              .Parent = -1,
                              .Length = 0.0,
                              .SegmentCount = 3,
                              .Points = {{-1, -2, -3, 0.5}}});
  TNeuronDataWriter writer;
  ASSERT_TRUE(writer.Create(Path, header, sections)) << writer.GetError();
  std::vector<double> values(writer.GetSegmentCount());
  for (int f = 0; f < 5; ++f) {
    for (size_t i = 0; i < values.size(); ++i)
      values[i] = f * 100.0 + static_cast<double>(i);
    ASSERT_TRUE(writer.WriteFrame(0.5 * f, values));
  }
  ASSERT_TRUE(writer.PatchRange(FromBits(0xC05040000000000Aull), 404.0));
  ASSERT_TRUE(writer.Close()) << writer.GetError();

  TNeuronDataFile data;
  data.Load(Path);
  ASSERT_EQ(data.GetLoadError(), TDataFileError::None);
  ASSERT_EQ(data.GetFileName(), Path);
  const TDataFileHeader &loaded = data.GetHeader();
  EXPECT_EQ(loaded.Signature, "MTSD");
  EXPECT_EQ(loaded.Reserved1, 4.5);
  EXPECT_EQ(loaded.Description, header.Description);
  EXPECT_EQ(loaded.SectionCount, 3);
  EXPECT_EQ(loaded.SegmentCount, 6);
  EXPECT_EQ(loaded.Reserved2, -2.0);
  EXPECT_EQ(loaded.TimeUnitFactor, 1.0);
  EXPECT_EQ(data.GetTimeUnit(), "s");
  EXPECT_EQ(loaded.VariableUnit, "uS/cm2");
  EXPECT_EQ(loaded.VariableMin, TNeuronDataWriter::AfterWord(header.VariableMin));
  EXPECT_NEAR(loaded.VariableMin, header.VariableMin, 1e-12);
  EXPECT_EQ(loaded.VariableMax, 404.0);

  const std::vector<TDataFileSectionInfo> &read = data.GetSections();
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].Name, "soma");
  EXPECT_EQ(read[0].Parent, -1);
  EXPECT_EQ(read[0].Children, std::vector<std::int32_t>{1});
  EXPECT_EQ(read[0].Reserved1, 7.0);
  EXPECT_EQ(read[1].Name, "dend[0]");
  EXPECT_EQ(read[1].Parent, 0);
  EXPECT_EQ(read[1].Reserved2, -7.0);
  EXPECT_EQ(read[1].Length, 5.0);
  EXPECT_EQ(read[1].SegmentCount, 2);
  EXPECT_EQ(read[2].Name, std::string(255, 'n'));
  EXPECT_EQ(read[2].SegmentCount, 3);
  EXPECT_EQ(read[2].Points.front().z, -3.0);
  EXPECT_EQ(data.GetItemCount(), 3);
  EXPECT_EQ(data.GetMinZ(), -3.0);

  ASSERT_EQ(data.GetFrameCount(), 5);
  EXPECT_EQ(data.GetFirstFrameTime(), 0.0);
  EXPECT_EQ(data.GetLastFrameTime(), 2.0);
  EXPECT_EQ(data.SeekFrame(1.4), 1.5);
  {
    std::lock_guard lock(data.GetFrameLock());
    const double *frame = data.GetCurrentFrame();
    EXPECT_EQ(frame[0], 1.5);
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(frame[1 + i], 300.0 + i);
  }
  EXPECT_EQ(data.StepForward(0), 2.0);
}
