// Feeds arbitrary bytes to TNeuronDataFile::Load as a data file, then plays
// with what loaded and checks the invariants the views index by.
#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

// Keeps the reads of the buffers from being optimised away.
volatile double Sink;

void Check(bool condition) {
  if (!condition)
    std::abort();
}

void CheckModel(const TNeuronDataFile &data) {
  const TDataFileHeader &header = data.GetHeader();
  const auto &sections = data.GetSections();
  Check(header.SectionCount >= 1 && sections.size() == static_cast<size_t>(header.SectionCount));
  const auto &firstSegment = data.GetSectionFirstSegment();
  Check(firstSegment.size() == sections.size() + 1 && firstSegment.front() == 0 &&
        firstSegment.back() == header.SegmentCount);
  const auto &items = data.GetItemFirstSection();
  Check(items.size() == static_cast<size_t>(data.GetItemCount()) + 1 && items.front() == 0 &&
        items.back() == header.SectionCount);
  for (size_t i = 1; i < items.size(); ++i)
    Check(items[i - 1] < items[i]);
  for (size_t k = 0; k < sections.size(); ++k) {
    const TDataFileSectionInfo &s = sections[k];
    Check(s.Parent >= -1 && s.Parent < static_cast<std::int32_t>(k));
    Check(s.ChildCount == static_cast<std::int32_t>(s.Children.size()));
    for (std::int32_t child : s.Children)
      Check(child > static_cast<std::int32_t>(k) && child < header.SectionCount &&
            sections[static_cast<size_t>(child)].Parent == static_cast<std::int32_t>(k));
    Check(s.SegmentCount >= 1 && firstSegment[k + 1] - firstSegment[k] == s.SegmentCount);
    Check(s.PointCount >= 1 && s.Points.size() == static_cast<size_t>(s.PointCount) &&
          s.Diameters.size() == s.Points.size());
    Check(s.SegmentFirstPoint.size() == static_cast<size_t>(s.SegmentCount) + 1 &&
          s.SegmentFirstPoint.front() == 0 && s.SegmentFirstPoint.back() == s.PointCount);
    for (size_t j = 1; j < s.SegmentFirstPoint.size(); ++j)
      Check(s.SegmentFirstPoint[j - 1] <= s.SegmentFirstPoint[j]);
    Check(s.Length >= 0.0 && s.LeafIndex >= 0);
  }
}

void Play(TNeuronDataFile &data, const std::uint8_t *bytes, size_t size) {
  const double first = data.GetFirstFrameTime();
  const double last = data.GetLastFrameTime();
  const double times[] = {first - 1.0, first,      (first + last) / 2.0,
                          last,        last + 1.0, first + (last - first) / 3.0};
  for (double t : times) {
    data.FindNearestFrameTime(t);
    data.SeekFrame(t);
  }
  // Every step moves at least one frame, so both walks end.
  const int skip = size > 0 ? bytes[size - 1] % 4 : 0;
  std::int64_t steps = 0;
  while (data.StepForward(skip) != -1.0)
    Check(++steps < data.GetFrameCount());
  steps = 0;
  while (data.StepBack(skip) != -1.0)
    Check(++steps < data.GetFrameCount());
  data.RecolorCurrentFrame();
  Check(!data.GetTimeUnit().empty());
  data.GetMaxDistance();
  data.GetItemChecked()[0] = 0;
  data.GetMaxDistance();

  std::lock_guard lock(data.GetFrameLock());
  const double *frame = data.GetCurrentFrame();
  const float *colors = data.GetCurrentColors();
  double sum = frame[0];
  for (std::int32_t s = 0; s < data.GetHeader().SegmentCount; ++s)
    sum += frame[1 + s] + colors[3 * s] + colors[3 * s + 2];
  Sink = sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, size_t size) {
  static const std::string path = "/tmp/dendrovia-fuzz-load-" + std::to_string(getpid()) + ".dat";
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (!file)
    std::abort();
  Check(std::fwrite(bytes, 1, size, file) == size);
  Check(std::fclose(file) == 0);

  TDataToColor palette;
  TNeuronDataFile data;
  data.Load(path);
  Check(data.GetFileName().empty() == (data.GetLoadError() != TDataFileError::None));
  Check(data.GetFileName().empty() != data.DescribeLoadError("MTSD").empty());
  if (!data.GetFileName().empty()) {
    CheckModel(data);
    data.SetPalette(&palette);
    Play(data, bytes, size);
  }
  std::remove(path.c_str());
  return 0;
}
