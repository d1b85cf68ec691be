#include "views/Show1DThread.h"

#include "data/NeuronDataFile.h"
#include "render/PipelinedDraw.h"
#include "views/CurrentFrame.h"

#include <qopengl.h>

TOpenGLThread1D::TOpenGLThread1D(TGraphicForm &owner, int sleepPeriodMs)
    : TAxesGraphThread(owner, sleepPeriodMs, TXTickOrigin::Zero) {}

TOpenGLThread1D::~TOpenGLThread1D() {
  TerminateAndWait();
}

bool TOpenGLThread1D::AcceptRanges(const TDataWindow &window) const {
  return window.XMax > 0.0;
}

void TOpenGLThread1D::DrawGraph() {
  const std::optional<TCurrentFrame> frame = FetchCurrentFrame(*Data);
  if (!frame)
    return;
  // The strips' shape changes only with the items; each frame brings values
  // and colours.
  if (Graph.NeedsLayout(*Data, Geometry.XMap))
    Graph.Layout(*Data, Geometry.XMap);
  Graph.Fill(frame->Values, frame->Colors, Geometry.YMap);
  glLineWidth(DeviceWidth(GraphicLineWidth));
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
    DrawIndexedInParts(GL_LINES, Graph.LineIndices());
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  SetLastDrawnTime(frame->Time);
}
