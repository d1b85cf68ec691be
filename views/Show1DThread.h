#pragma once

#include "render/AxesDrawing.h"
#include "render/OpenGLViewThread.h"
#include "views/Graph1D.h"

class TGlyphFont;

// The rendering thread of the 1D window: axes of distance and value, then the
// current frame's values of the checked items along their path distance.
class TOpenGLThread1D : public TOpenGLViewThread {
public:
  // Created suspended, with the data window 0..100 by -80..40.
  TOpenGLThread1D(TGraphicForm &owner, int sleepPeriodMs);
  ~TOpenGLThread1D() override;

  // Colours of the distance axis and of the value axis (their ticks and labels).
  void SetAxisColors(const QColor &xAxisColor, const QColor &yAxisColor);
  void SetAxisLineWidth(float width) { AxisLineWidth = width; }
  void SetGraphicLineWidth(float width) { GraphicLineWidth = width; }

protected:
  // A distance axis of length 0 or less (no item checked) keeps the old window.
  bool AcceptRanges(const TDataWindow &window) const override;
  TMargins ComputeMargins() const override;
  void DrawLayers() override;
  void ProjectionChanged() override;

private:
  TAxesLayout LayOutAxes() const;
  void DrawGraph();

  TRgb XAxisColor{0.0f, 0.0f, 0.0f};
  TRgb YAxisColor{0.0f, 0.0f, 0.0f};
  const TGlyphFont &Font;
  float AxisLineWidth = 1.0f;
  float GraphicLineWidth = 1.0f;
  // The axes of the current data window and view extents.
  TAxesLayout Axes;
  TGraph1D Graph;
};
