#include "views/ShowFtThread.h"

#include "data/NeuronDataFile.h"
#include "render/GlyphFont.h"
#include "render/GraphicForm.h"
#include "views/CurrentFrame.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>
#include <qopengl.h>

namespace {

constexpr int LabelFontSize = 10;

// One line strip through count samples, as a client-side array (OpenGL 1.1):
// the samples are (time, value) pairs of doubles, as the vertices need them.
void DrawStrip(const TPointSample *samples, std::size_t count) {
  // glDrawArrays counts in int: a longer curve goes in pieces that share their
  // end vertices.
  while (count > 1) {
    const std::size_t piece = std::min<std::size_t>(count, INT_MAX);
    glVertexPointer(2, GL_DOUBLE, sizeof(TPointSample), &samples->Time);
    glDrawArrays(GL_LINE_STRIP, 0, static_cast<GLsizei>(piece));
    samples += piece - 1;
    count -= piece - 1;
  }
}

} // namespace

TOpenGLThreadFt::TOpenGLThreadFt(TGraphicForm &owner, int sleepPeriodMs)
    : TOpenGLViewThread(owner, {0.0, 100.0, -80.0, 40.0}, sleepPeriodMs),
      Font(Panel().AddGlyphFont("Arial", LabelFontSize)), Axes(LayOutAxes()) {}

TOpenGLThreadFt::~TOpenGLThreadFt() {
  TerminateAndWait();
}

void TOpenGLThreadFt::SetAxisColors(const QColor &timeAxisColor, const QColor &valueAxisColor) {
  TimeAxisColor = ToRgb(timeAxisColor);
  ValueAxisColor = ToRgb(valueAxisColor);
}

void TOpenGLThreadFt::SetPointList(TSelectedPointList *points) {
  Points = points;
  Sampler.Reset();
}

bool TOpenGLThreadFt::AcceptRanges(const TDataWindow &window) const {
  for (double bound : {window.XMin, window.XMax, window.YMin, window.YMax})
    if (!std::isfinite(bound))
      return false;
  return window.XMin != window.XMax && window.YMin != window.YMax;
}

TMargins TOpenGLThreadFt::ComputeMargins() const {
  return AxesMargins(Window, Font);
}

void TOpenGLThreadFt::ProjectionChanged() {
  Axes = LayOutAxes();
}

TAxesLayout TOpenGLThreadFt::LayOutAxes() const {
  TAxesRequest request;
  request.Window = Window;
  // Time ticks count from the start of the time range, not from 0.
  request.XTickStart = Window.XMin;
  return LayoutAxes(request, Geometry, Font);
}

void TOpenGLThreadFt::DrawLayers() {
  DrawAxes(Axes, TimeAxisColor, ValueAxisColor, AxisLineWidth, Font);
  if (Data != nullptr)
    DrawCurves();
}

void TOpenGLThreadFt::DrawCurves() {
  const std::optional<TCurrentFrame> frame = FetchCurrentFrame(*Data);
  if (!frame)
    return;
  {
    std::lock_guard lock(Owner.WindowLock());
    if (Points != nullptr) {
      Sampler.Update(*Points, *Data, frame->Time, frame->Values);
      glLineWidth(CurveLineWidth);
      glEnableClientState(GL_VERTEX_ARRAY);
      const double pixelsPerUnit = Geometry.PanelWidth() * Panel().devicePixelRatioF() /
                                   (Geometry.ViewRight - Geometry.ViewLeft);
      // More than four samples per pixel column draw no other pixels than four.
      const double thinFrom = 4.0 * (std::fabs(Window.XMax - Window.XMin) * pixelsPerUnit + 1.0);
      for (const std::unique_ptr<TSelectedPointInfo> &point : *Points) {
        const TSampleSpan span = VisibleSamples(point->Samples, Window.XMin, Window.XMax);
        glColor3ub(static_cast<GLubyte>(point->Color >> 16),
                   static_cast<GLubyte>(point->Color >> 8), static_cast<GLubyte>(point->Color));
        const TPointSample *visible = point->Samples.data() + span.First;
        if (static_cast<double>(span.Count) > thinFrom) {
          ReduceToPixelColumns(visible, span.Count, Geometry.ViewLeft, pixelsPerUnit, Thinned);
          DrawStrip(Thinned.data(), Thinned.size());
        } else {
          DrawStrip(visible, span.Count);
        }
      }
      glDisableClientState(GL_VERTEX_ARRAY);
    }
  }
  SetLastDrawnTime(frame->Time);
}
