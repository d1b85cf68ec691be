#pragma once

#include "views/AxesGraphThread.h"
#include "views/Graph1D.h"

// The rendering thread of the 1D window: axes of distance and value, then the
// current frame's values of the checked items along their path distance.
class TOpenGLThread1D : public TAxesGraphThread {
public:
  // Created suspended, with the data window 0..100 by -80..40.
  TOpenGLThread1D(TGraphicForm &owner, int sleepPeriodMs);
  ~TOpenGLThread1D() override;

protected:
  // A distance axis of length 0 or less (no item checked) keeps the old window.
  bool AcceptRanges(const TDataWindow &window) const override;
  void DrawGraph() override;

private:
  TGraph1D Graph;
};
