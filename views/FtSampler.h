#pragma once

#include "views/SelectedPointInfo.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class TNeuronDataFile;

// The contiguous run of a point's samples to draw: Count samples from First.
struct TSampleSpan {
  std::size_t First = 0;
  std::size_t Count = 0;
};

// The samples whose time lies in [timeMin, timeMax]; the samples must be in
// time order (as the sampler keeps them). Empty when timeMin > timeMax.
TSampleSpan VisibleSamples(const std::vector<TPointSample> &samples, double timeMin,
                           double timeMax);

// Thins count samples (in time order) for drawing as a line strip of pixel
// columns pixelsPerUnit wide per time unit, counted from time left: of the
// samples that fall into one column it keeps the first, the lowest, the highest
// and the last, in time order. The strip through them covers the same pixels
// as the strip through all of them, with at most four vertices per column.
// out is overwritten.
void ReduceToPixelColumns(const TPointSample *samples, std::size_t count, double left,
                          double pixelsPerUnit, std::vector<TPointSample> &out);

// Records, frame by frame as playback visits them, each F(t) point's value at
// the current frame's time.
//
// A point's samples stay in time order and never lie beyond the time last
// sampled: a frame later than that appends one sample per point, an earlier one
// drops the samples after it, and a changed list (or Reset) does both, so that
// every point has exactly one sample at the current time. Each step costs a
// constant amount per point, whatever the length of the history.
class TFtSampler {
public:
  // The next Update samples every point at its time (after dropping what lies
  // beyond it).
  void Reset();

  // Brings the samples of points up to date with the frame at time, whose
  // values are given by global segment index. A point outside the model gets no
  // samples; a time that is not finite changes nothing. The capacity of a
  // point's samples grows by doubling but never beyond the data's frame count,
  // the most samples a point can have. False when it changed no samples (a
  // time already sampled, or not finite).
  bool Update(TSelectedPointList &points, const TNeuronDataFile &data, double time,
              const double *values);

  // The time of the last update that sampled at least one point; none after
  // Reset and before the first.
  std::optional<double> LastSampledTime() const { return LastTime; }

private:
  std::optional<double> LastTime;
  std::size_t KnownCount = 0;
};
