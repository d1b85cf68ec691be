#include "views/AxesGraphThread.h"

#include "render/GlyphFont.h"

namespace {

constexpr int LabelFontSize = 10;

} // namespace

TAxesGraphThread::TAxesGraphThread(TGraphicForm &owner, int sleepPeriodMs, TXTickOrigin xTickOrigin)
    : TOpenGLViewThread(owner, {0.0, 100.0, -80.0, 40.0}, sleepPeriodMs), XTickOrigin(xTickOrigin),
      Font(Panel().AddGlyphFont("Arial", LabelFontSize)), Axes(LayOutAxes()) {}

void TAxesGraphThread::SetAxisColors(const QColor &xAxisColor, const QColor &yAxisColor) {
  XAxisColor = ToRgb(xAxisColor);
  YAxisColor = ToRgb(yAxisColor);
}

TMargins TAxesGraphThread::ComputeMargins() const {
  return AxesMargins(Window, Font);
}

void TAxesGraphThread::ProjectionChanged() {
  Axes = LayOutAxes();
}

TAxesLayout TAxesGraphThread::LayOutAxes() const {
  TAxesRequest request;
  request.Window = Window;
  request.XTickStart = XTickOrigin == TXTickOrigin::Zero ? 0.0 : Window.XMin;
  return LayoutAxes(request, Geometry, Font);
}

void TAxesGraphThread::DrawLayers() {
  DrawAxes(Axes, XAxisColor, YAxisColor, DeviceWidth(AxisLineWidth), Font);
  if (Data != nullptr)
    DrawGraph();
}
