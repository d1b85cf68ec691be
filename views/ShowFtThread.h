#pragma once

#include "views/AxesGraphThread.h"
#include "views/FtSampler.h"
#include "views/SelectedPointInfo.h"

#include <optional>
#include <vector>

// The rendering thread of the F(t) window: a time axis, its ticks counted from
// the start of the time range, and a value axis, then one curve per point of
// the list, in the point's colour, through the values recorded so far at the
// frames drawn (TFtSampler). Only the samples inside the time range are drawn,
// as one vertex array per curve; a curve with more samples than four per pixel
// column is first thinned to four per column (ReduceToPixelColumns), again
// only after new samples or a change of the time range or the panel's width.
// The samples and the list are read and changed under the window's lock.
class TOpenGLThreadFt : public TAxesGraphThread {
public:
  // Created suspended, with the data window 0..100 by -80..40.
  TOpenGLThreadFt(TGraphicForm &owner, int sleepPeriodMs);
  ~TOpenGLThreadFt() override;

  // The points drawn (not owned; null draws none). The next pass samples every
  // point at the current time.
  void SetPointList(TSelectedPointList *points);
  // Points were added or deleted: the same as SetPointList with the same list.
  void PointListChanged();

protected:
  // A range of no width (or not finite) keeps the old window: there is
  // nothing to scale to it.
  bool AcceptRanges(const TDataWindow &window) const override;
  // The curves of the points.
  void DrawGraph() override;

private:
  TSelectedPointList *Points = nullptr;
  TFtSampler Sampler;
  // The pixel columns the curves were thinned for.
  struct TThinning {
    double Left = 0.0;
    double PixelsPerUnit = 0.0;
    double TimeMin = 0.0;
    double TimeMax = 0.0;
    bool operator==(const TThinning &) const = default;
  };
  // A curve thinned to the pixel columns from Count samples at From.
  struct TThinnedCurve {
    const TPointSample *From = nullptr;
    std::size_t Count = 0;
    std::vector<TPointSample> Vertices;
  };
  // Each curve thinned, kept while its samples and the columns stay: a frame
  // without a new sample draws them again as they are.
  std::vector<TThinnedCurve> Thinned;
  std::optional<TThinning> ThinnedFor;
  // A curve's samples in drawing units, where they differ from data units.
  std::vector<TPointSample> Mapped;
};
