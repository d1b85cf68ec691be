#include "views/ShowFtThread.h"

#include "data/NeuronDataFile.h"
#include "render/GraphicForm.h"
#include "render/PipelinedDraw.h"
#include "views/CurrentFrame.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>
#include <qopengl.h>

namespace {

// One line strip through count samples, as a client-side array (OpenGL 1.1):
// the samples are (time, value) pairs of doubles, as the vertices need them.
void DrawStrip(const TPointSample *samples, std::size_t count) {
  DrawInParts(count, GL_LINE_STRIP, [samples](std::size_t first, GLsizei partCount) {
    glVertexPointer(2, GL_DOUBLE, sizeof(TPointSample), &samples[first].Time);
    glDrawArrays(GL_LINE_STRIP, 0, partCount);
  });
}

} // namespace

TOpenGLThreadFt::TOpenGLThreadFt(TGraphicForm &owner, int sleepPeriodMs)
    : TAxesGraphThread(owner, sleepPeriodMs, TXTickOrigin::WindowStart) {}

TOpenGLThreadFt::~TOpenGLThreadFt() {
  TerminateAndWait();
}

void TOpenGLThreadFt::SetPointList(TSelectedPointList *points) {
  Points = points;
  PointListChanged();
}

void TOpenGLThreadFt::PointListChanged() {
  Sampler.Reset();
  ThinnedFor.reset();
}

bool TOpenGLThreadFt::AcceptRanges(const TDataWindow &window) const {
  for (double bound : {window.XMin, window.XMax, window.YMin, window.YMax})
    if (!std::isfinite(bound))
      return false;
  return window.XMin != window.XMax && window.YMin != window.YMax;
}

void TOpenGLThreadFt::DrawGraph() {
  const std::optional<TCurrentFrame> frame = FetchCurrentFrame(*Data);
  if (!frame)
    return;
  {
    std::lock_guard lock(Owner.WindowLock());
    if (Points != nullptr) {
      const bool sampled = Sampler.Update(*Points, *Data, frame->Time, frame->Values);
      glLineWidth(DeviceWidth(GraphicLineWidth));
      // A curve has one colour: flat shading gives the same pixels without
      // interpolating it.
      glShadeModel(GL_FLAT);
      glEnableClientState(GL_VERTEX_ARRAY);
      const TAxisMap &mapX = Geometry.XMap;
      const TAxisMap &mapY = Geometry.YMap;
      const bool relative = mapX.IsRelative() || mapY.IsRelative();
      const double pixelsPerUnit =
          Geometry.PanelWidth() * Panel().PixelRatio() / (Geometry.ViewRight - Geometry.ViewLeft);
      // More than four samples per pixel column draw no other pixels than four.
      const double thinFrom =
          4.0 * (std::fabs(mapX(Window.XMax) - mapX(Window.XMin)) * pixelsPerUnit + 1.0);
      const TThinning columns{Geometry.ViewLeft, pixelsPerUnit, Window.XMin, Window.XMax};
      // Mapped samples are made anew each frame, so are their thinned curves.
      const bool kept =
          !sampled && !relative && ThinnedFor == columns && Thinned.size() == Points->size();
      Thinned.resize(Points->size());
      for (std::size_t n = 0; n < Points->size(); ++n) {
        const TSelectedPointInfo *point = (*Points)[n].get();
        const TSampleSpan span = VisibleSamples(point->Samples, Window.XMin, Window.XMax);
        glColor3ub(static_cast<GLubyte>(point->Color >> 16),
                   static_cast<GLubyte>(point->Color >> 8), static_cast<GLubyte>(point->Color));
        const TPointSample *visible = point->Samples.data() + span.First;
        if (relative) {
          Mapped.resize(span.Count);
          for (std::size_t i = 0; i < span.Count; ++i)
            Mapped[i] = {mapX(visible[i].Time), mapY(visible[i].Value)};
          visible = Mapped.data();
        }
        if (static_cast<double>(span.Count) > thinFrom) {
          TThinnedCurve &curve = Thinned[n];
          if (!kept || curve.From != visible || curve.Count != span.Count) {
            ReduceToPixelColumns(visible, span.Count, Geometry.ViewLeft, pixelsPerUnit,
                                 curve.Vertices);
            curve.From = visible;
            curve.Count = span.Count;
          }
          DrawStrip(curve.Vertices.data(), curve.Vertices.size());
        } else {
          DrawStrip(visible, span.Count);
        }
      }
      ThinnedFor = columns;
      glDisableClientState(GL_VERTEX_ARRAY);
      glShadeModel(GL_SMOOTH);
    }
  }
  SetLastDrawnTime(frame->Time);
}
