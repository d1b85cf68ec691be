#include "views/Show1DThread.h"

#include "data/NeuronDataFile.h"
#include "render/GlyphFont.h"
#include "views/CurrentFrame.h"

#include <qopengl.h>

namespace {

constexpr int LabelFontSize = 10;

} // namespace

TOpenGLThread1D::TOpenGLThread1D(TGraphicForm &owner, int sleepPeriodMs)
    : TOpenGLViewThread(owner, {0.0, 100.0, -80.0, 40.0}, sleepPeriodMs),
      Font(Panel().AddGlyphFont("Arial", LabelFontSize)), Axes(LayOutAxes()) {}

TOpenGLThread1D::~TOpenGLThread1D() {
  TerminateAndWait();
}

void TOpenGLThread1D::SetAxisColors(const QColor &xAxisColor, const QColor &yAxisColor) {
  XAxisColor = ToRgb(xAxisColor);
  YAxisColor = ToRgb(yAxisColor);
}

bool TOpenGLThread1D::AcceptRanges(const TDataWindow &window) const {
  return window.XMax > 0.0;
}

TMargins TOpenGLThread1D::ComputeMargins() const {
  return AxesMargins(Window, Font);
}

void TOpenGLThread1D::ProjectionChanged() {
  Axes = LayOutAxes();
}

TAxesLayout TOpenGLThread1D::LayOutAxes() const {
  TAxesRequest request;
  request.Window = Window;
  request.XTickStart = 0.0;
  return LayoutAxes(request, Geometry, Font);
}

void TOpenGLThread1D::DrawLayers() {
  DrawAxes(Axes, XAxisColor, YAxisColor, AxisLineWidth, Font);
  if (Data != nullptr)
    DrawGraph();
}

void TOpenGLThread1D::DrawGraph() {
  const std::optional<TCurrentFrame> frame = FetchCurrentFrame(*Data);
  if (!frame)
    return;
  // The strips' shape changes only with the items; each frame brings values
  // and colours.
  if (Graph.NeedsLayout(*Data))
    Graph.Layout(*Data);
  Graph.Fill(frame->Values, frame->Colors);
  glLineWidth(GraphicLineWidth);
  const std::vector<TGraph1DVertex> &vertices = Graph.Vertices();
  if (!vertices.empty()) {
    // Client-side arrays (OpenGL 1.1): the same lines as glBegin/glEnd, without
    // two calls per vertex.
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, sizeof(TGraph1DVertex), &vertices[0].X);
    glColorPointer(3, GL_FLOAT, sizeof(TGraph1DVertex), &vertices[0].R);
    // One call for the whole graph: a call per strip costs more than its
    // lines when sections are short, and llvmpipe draws separate lines faster
    // than strips, to the same pixels.
    glDrawElements(GL_LINES, static_cast<GLsizei>(Graph.LineIndices().size()), GL_UNSIGNED_INT,
                   Graph.LineIndices().data());
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  SetLastDrawnTime(frame->Time);
}
