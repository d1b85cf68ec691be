#pragma once

#include "render/AxesDrawing.h"
#include "render/OpenGLViewThread.h"

class TGlyphFont;

// The rendering thread of a graph over a horizontal and a vertical axis (the
// 1D and F(t) windows): the axes' colours, line width and label font, the
// margins their labels need and their layout, made again whenever the data
// window or the view extents change. Each frame draws the axes, then the
// view's graph (DrawGraph) when there is data.
class TAxesGraphThread : public TOpenGLViewThread {
public:
  // Colours of the horizontal axis and of the vertical axis (their ticks and
  // labels).
  void SetAxisColors(const QColor &xAxisColor, const QColor &yAxisColor);
  void SetAxisLineWidth(float width) { AxisLineWidth = width; }
  void SetGraphicLineWidth(float width) { GraphicLineWidth = width; }

  const TAxesLayout &GetAxes() const { return Axes; }

protected:
  // Where the horizontal axis's ticks count from.
  enum class TXTickOrigin { Zero, WindowStart };

  // Created suspended, with the data window 0..100 by -80..40.
  TAxesGraphThread(TGraphicForm &owner, int sleepPeriodMs, TXTickOrigin xTickOrigin);

  TMargins ComputeMargins() const override;
  void DrawLayers() override;
  void ProjectionChanged() override;
  // Draws the graph over the axes; only called with data.
  virtual void DrawGraph() = 0;

  float GraphicLineWidth = 1.0f;

private:
  TAxesLayout LayOutAxes() const;

  const TXTickOrigin XTickOrigin;
  TRgb XAxisColor{0.0f, 0.0f, 0.0f};
  TRgb YAxisColor{0.0f, 0.0f, 0.0f};
  const TGlyphFont &Font;
  float AxisLineWidth = 1.0f;
  // The axes of the current data window and view extents.
  TAxesLayout Axes;
};
