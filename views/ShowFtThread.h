#pragma once

#include "render/AxesDrawing.h"
#include "render/OpenGLViewThread.h"
#include "views/FtSampler.h"
#include "views/SelectedPointInfo.h"

class TGlyphFont;

// The rendering thread of the F(t) window: a time axis and a value axis, then
// one curve per point of the list, in the point's colour, through the values
// recorded so far at the frames drawn (TFtSampler). Only the samples inside the
// time range are drawn, as one vertex array per curve; a curve with more
// samples than four per pixel column is first thinned to four per column
// (ReduceToPixelColumns). The samples and the list are read and changed under
// the window's lock.
class TOpenGLThreadFt : public TOpenGLViewThread {
public:
  // Created suspended, with the data window 0..100 by -80..40.
  TOpenGLThreadFt(TGraphicForm &owner, int sleepPeriodMs);
  ~TOpenGLThreadFt() override;

  // Colours of the time axis and of the value axis (their ticks and labels).
  void SetAxisColors(const QColor &timeAxisColor, const QColor &valueAxisColor);
  void SetAxisLineWidth(float width) { AxisLineWidth = width; }
  void SetGraphicLineWidth(float width) { CurveLineWidth = width; }
  // The points drawn (not owned; null draws none). The next pass samples every
  // point at the current time.
  void SetPointList(TSelectedPointList *points);
  // Points were added or deleted: the same as SetPointList with the same list.
  void PointListChanged() { Sampler.Reset(); }

  const TAxesLayout &GetAxes() const { return Axes; }

protected:
  // A range of no width (or not finite) keeps the old window: there is
  // nothing to scale to it.
  bool AcceptRanges(const TDataWindow &window) const override;
  TMargins ComputeMargins() const override;
  void DrawLayers() override;
  void ProjectionChanged() override;

private:
  TAxesLayout LayOutAxes() const;
  void DrawCurves();

  TRgb TimeAxisColor{0.0f, 0.0f, 0.0f};
  TRgb ValueAxisColor{0.0f, 0.0f, 0.0f};
  const TGlyphFont &Font;
  float AxisLineWidth = 1.0f;
  float CurveLineWidth = 1.0f;
  TSelectedPointList *Points = nullptr;
  TFtSampler Sampler;
  // The vertices of a curve thinned to the pixel columns, reused every pass.
  std::vector<TPointSample> Thinned;
  // The axes of the current data window and view extents.
  TAxesLayout Axes;
};
