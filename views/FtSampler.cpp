#include "views/FtSampler.h"

#include "data/NeuronDataFile.h"

#include <algorithm>
#include <cmath>

namespace {

bool EarlierThan(double time, const TPointSample &sample) {
  return time < sample.Time;
}

bool LaterThan(const TPointSample &sample, double time) {
  return sample.Time < time;
}

void DropSamplesAfter(std::vector<TPointSample> &samples, double time) {
  if (!samples.empty() && samples.back().Time > time)
    samples.erase(std::upper_bound(samples.begin(), samples.end(), time, EarlierThan),
                  samples.end());
}

void AppendSample(std::vector<TPointSample> &samples, const TPointSample &sample,
                  std::int64_t frameCount) {
  if (samples.size() == samples.capacity()) {
    std::size_t capacity = std::max<std::size_t>(16, 2 * samples.capacity());
    // A point has at most one sample per frame of the file.
    if (frameCount > static_cast<std::int64_t>(samples.size()))
      capacity = std::min(capacity, static_cast<std::size_t>(frameCount));
    samples.reserve(capacity);
  }
  samples.push_back(sample);
}

} // namespace

TSampleSpan VisibleSamples(const std::vector<TPointSample> &samples, double timeMin,
                           double timeMax) {
  const auto first = std::lower_bound(samples.begin(), samples.end(), timeMin, LaterThan);
  const auto last = std::upper_bound(first, samples.end(), timeMax, EarlierThan);
  return {static_cast<std::size_t>(first - samples.begin()),
          static_cast<std::size_t>(last - first)};
}

void ReduceToPixelColumns(const TPointSample *samples, std::size_t count, double left,
                          double pixelsPerUnit, std::vector<TPointSample> &out) {
  out.clear();
  std::size_t i = 0;
  while (i < count) {
    // The column's right edge in time: one comparison per sample, no division.
    const double column = std::floor((samples[i].Time - left) * pixelsPerUnit);
    const double edge = left + (column + 1.0) / pixelsPerUnit;
    std::size_t low = i, high = i;
    const std::size_t first = i;
    for (++i; i < count && samples[i].Time < edge; ++i) {
      if (samples[i].Value < samples[low].Value)
        low = i;
      else if (samples[i].Value > samples[high].Value)
        high = i;
    }
    const std::size_t kept[4] = {first, std::min(low, high), std::max(low, high), i - 1};
    for (std::size_t k = 0; k < 4; ++k)
      if (k == 0 || kept[k] != kept[k - 1])
        out.push_back(samples[kept[k]]);
  }
}

void TFtSampler::Reset() {
  LastTime.reset();
}

bool TFtSampler::Update(TSelectedPointList &points, const TNeuronDataFile &data, double time,
                        const double *values) {
  if (!std::isfinite(time))
    return false;
  if (points.size() != KnownCount) {
    KnownCount = points.size();
    LastTime.reset();
  }
  if (LastTime && time == *LastTime)
    return false;
  const bool reset = !LastTime;
  if (reset || time > *LastTime) {
    for (const std::unique_ptr<TSelectedPointInfo> &point : points) {
      // After a reset samples may lie beyond the current time (playback moved
      // back meanwhile): they go first, so that the order holds.
      if (reset)
        DropSamplesAfter(point->Samples, time);
      const std::int32_t segment = GlobalSegmentIndex(data, *point);
      if (segment < 0)
        continue;
      // All samples lie at or before time: only the last can be at time.
      if (point->Samples.empty() || point->Samples.back().Time < time)
        AppendSample(point->Samples, {time, values[segment]}, data.GetFrameCount());
    }
  } else {
    for (const std::unique_ptr<TSelectedPointInfo> &point : points)
      DropSamplesAfter(point->Samples, time);
  }
  if (!points.empty())
    LastTime = time;
  return true;
}
