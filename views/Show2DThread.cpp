#include "views/Show2DThread.h"

#include "data/NeuronDataFile.h"
#include "render/GlyphFont.h"
#include "render/PipelinedDraw.h"
#include "settings/Options.h"
#include "views/CurrentFrame.h"
#include "views/PaletteBar.h"

#include <GL/glu.h>
#include <qopengl.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr int ScaleFontSize = 12;
constexpr int PaletteFontSize = 8;
constexpr int PaletteMargin = 80;
constexpr int Margin = 30;
constexpr int BottomMargin = 40;
constexpr float MarkerSize = 5.0f;
constexpr double ScaleLength = 100.0;
constexpr const char *ScaleText = "100 um";
constexpr GLsizei SelectBufferSize = 512;
// The side of the square around the mouse that a pick looks into, in logical
// pixels.
constexpr double PickBoxSize = 2.0;

} // namespace

TOpenGLThread2D::TOpenGLThread2D(TGraphicForm &owner, int sleepPeriodMs)
    : TOpenGLViewThread(owner, {0.0, 640.0, 0.0, 480.0}, sleepPeriodMs),
      Settings(TOptions::Instance()), ScaleFont(Panel().AddGlyphFont("Arial", ScaleFontSize)),
      PaletteFont(Panel().AddGlyphFont("Arial", PaletteFontSize)) {}

TOpenGLThread2D::~TOpenGLThread2D() {
  TerminateAndWait();
}

void TOpenGLThread2D::SetPalettePosition(int left, int top) {
  PaletteLeft = left;
  PaletteTop = top;
}

void TOpenGLThread2D::SetShowPalette(bool show) {
  ShowPalette = show;
  Synchronize([this] { ProjectionSetup(); });
}

TMargins TOpenGLThread2D::ComputeMargins() const {
  return {ShowPalette ? PaletteMargin : Margin, Margin, BottomMargin, Margin};
}

void TOpenGLThread2D::ProjectionChanged() {
  ScaleTickLengthY = Geometry.YUnits(ScaleTickLength);
}

const TDendrogram &TOpenGLThread2D::Layout() {
  if (Data != nullptr)
    Dendrogram.Update(*Data, ItemSpacing, LevelSpacing, Geometry.XMap, Geometry.YMap);
  return Dendrogram;
}

void TOpenGLThread2D::DrawLayers() {
  if (Data == nullptr)
    return;
  const std::optional<TCurrentFrame> frame = FetchCurrentFrame(*Data);
  if (!frame)
    return;
  // With no item checked (or spacings of 0) there is no height to fit: only
  // the background, but the frame still counts as drawn.
  const bool flat =
      Geometry.ViewLeft == Geometry.ViewRight || Geometry.ViewBottom == Geometry.ViewTop;
  if (Layout().IsEmpty() || flat) {
    SetLastDrawnTime(frame->Time);
    return;
  }
  if (ShowPalette && Palette != nullptr)
    DrawPaletteBar(*Palette, Geometry, PaletteFont, PaletteLeft, PaletteTop);
  DrawDendrogram(frame->Colors);
  SetLastDrawnTime(frame->Time);
  DrawScaleBar();
  DrawMarkers();
}

void TOpenGLThread2D::DrawDendrogram(const float *colors) {
  // Each segment as its own line from its colour to the next segment's; the
  // last keeps its own. The same pixels and colours as one strip per section,
  // in one call instead of one per section: a section's vertex k takes
  // segment k's colour, its end vertex the last segment's.
  const std::vector<TDendrogramVertex> &vertices = Dendrogram.Vertices();
  VertexColors.resize(3 * vertices.size());
  for (const TDendrogramSection &section : Dendrogram.Sections()) {
    if (section.SegmentCount <= 0)
      continue;
    const auto n = static_cast<std::size_t>(section.SegmentCount);
    const float *from = colors + 3 * static_cast<std::size_t>(section.FirstSegment);
    float *to = VertexColors.data() + 3 * static_cast<std::size_t>(section.FirstVertex);
    std::memcpy(to, from, 3 * n * sizeof(float));
    std::memcpy(to + 3 * n, from + 3 * (n - 1), 3 * sizeof(float));
  }

  glPushMatrix();
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(2, GL_FLOAT, sizeof(TDendrogramVertex), vertices.data());
  glColorPointer(3, GL_FLOAT, 0, VertexColors.data());
  glLineWidth(DeviceWidth(GraphicLineWidth));
  DrawIndexedInParts(GL_LINES, Dendrogram.SegmentLineIndices());
  glDisableClientState(GL_COLOR_ARRAY);
  // After the sections, so that a connection's top covers its parent's end,
  // as when each line follows the section before it.
  const std::vector<TDendrogramVertex> &connections = Dendrogram.ConnectionVertices();
  if (!connections.empty()) {
    // One colour: flat shading gives the same pixels without interpolating it.
    glShadeModel(GL_FLAT);
    glColor3f(0.0f, 0.0f, 0.0f);
    glLineWidth(DeviceWidth(ConnectionLineWidth));
    glVertexPointer(2, GL_FLOAT, sizeof(TDendrogramVertex), connections.data());
    DrawInParts(connections.size(), GL_LINES, [](std::size_t first, GLsizei count) {
      glDrawArrays(GL_LINES, static_cast<GLint>(first), count);
    });
    glShadeModel(GL_SMOOTH);
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glPopMatrix();
}

void TOpenGLThread2D::DrawScaleBar() {
  // Laid out in data units, as the bar's length is one.
  const TAxisMap &mapX = Geometry.XMap;
  const TAxisMap &mapY = Geometry.YMap;
  const double base = -mapY.DataLength(Geometry.YUnits(ScaleFont.TextHeight()));
  const double drawnBase = mapY(base);
  glColor3fv(ScaleColor.data());
  glLineWidth(DeviceWidth(ScaleLineWidth));
  glBegin(GL_LINE_STRIP);
  glVertex2d(mapX(0.0), drawnBase + ScaleTickLengthY);
  glVertex2d(mapX(0.0), drawnBase);
  glVertex2d(mapX(ScaleLength), drawnBase);
  glVertex2d(mapX(ScaleLength), drawnBase + ScaleTickLengthY);
  glEnd();
  ScaleFont.Draw(mapX(std::trunc(ScaleLength + mapX.DataLength(Geometry.XUnits(5)))),
                 mapY(std::trunc(base)), ScaleText);
}

void TOpenGLThread2D::DrawMarkers() {
  if (SelectedPoints == nullptr || SelectedPoints->empty() || !Settings.Graphics2D.ShowPoints)
    return;
  glPushMatrix();
  glPointSize(DeviceWidth(MarkerSize));
  glEnable(GL_POINT_SMOOTH);
  glBegin(GL_POINTS);
  for (const std::unique_ptr<TSelectedPointInfo> &point : *SelectedPoints) {
    const std::optional<TDendrogramVertex> middle =
        Dendrogram.SegmentMiddle(point->Item, point->SectionInItem, point->SegmentInSection);
    if (!middle)
      continue;
    glColor3ub(static_cast<GLubyte>(point->Color >> 16), static_cast<GLubyte>(point->Color >> 8),
               static_cast<GLubyte>(point->Color));
    glVertex2f(middle->X, middle->Y);
  }
  glEnd();
  glPopMatrix();
}

TSelectionResult TOpenGLThread2D::PickPoint(int x, int y, std::string &title, std::string &value) {
  SelectionResult = {-1, -1, -1};
  const bool flat =
      Geometry.ViewLeft == Geometry.ViewRight || Geometry.ViewBottom == Geometry.ViewTop;
  // Nothing can lie under the mouse without a model, a context or a picture.
  if (Data == nullptr || flat || !Panel().MakeContextCurrent() || Layout().IsEmpty())
    return {0, 0, 0};

  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  // Mouse positions are in logical pixels, the viewport in device pixels; the
  // pick box covers the same two logical pixels at any ratio, as the lines
  // their width.
  const double ratio = Panel().PixelRatio();
  const double pickX = x * ratio;
  const double pickY = viewport[3] - y * ratio;
  const double pickSize = PickBoxSize * ratio;
  std::vector<std::uint32_t> buffer(SelectBufferSize);
  bool succeeded = false;
  for (int pass = 1; pass <= 3; ++pass) {
    const GLint hits = SelectPass(pass, pickX, pickY, pickSize, viewport, buffer);
    const TPickPass found = InterpretHits(hits, buffer.data(), buffer.size());
    succeeded = found.Succeeded;
    if (found.Ambiguous)
      SelectionResult = {-1, -1, -1};
    else
      SelectionResult[static_cast<std::size_t>(pass - 1)] = found.Result;
    if (!succeeded)
      break;
  }
  const TSelectionResult result = SelectionResult;
  if (succeeded && result[0] >= 1 && result[1] >= 1 && result[2] >= 1) {
    if (const std::optional<TPointQuery> query =
            QueryPoint(*Data, SelectPointMode, result[0], result[1], result[2],
                       Settings.ControlPanel.DataRangeFormat)) {
      title = query->Title;
      value = query->Value;
    }
  }
  ProjectionSetup();
  return result;
}

int TOpenGLThread2D::SelectPass(int pass, double x, double y, double size, int *viewport,
                                std::vector<std::uint32_t> &buffer) {
  static_assert(sizeof(GLuint) == sizeof(std::uint32_t) && sizeof(GLint) == sizeof(int));
  for (;;) {
    glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPickMatrix(x, y, size, size, viewport);
    gluOrtho2D(Geometry.ViewLeft, Geometry.ViewRight, Geometry.ViewBottom, Geometry.ViewTop);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const std::size_t names = DrawPickPass(pass, SelectionResult[0] - 1, SelectionResult[1] - 1);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glFlush();
    const GLint hits = glRenderMode(GL_RENDER);
    // A record is written when the name changes after a hit, and once at the
    // end: at most one per name loaded and one more, each of a name count,
    // two depths and the one name on the stack.
    const std::size_t room = 4 * (names + 1);
    if (hits >= 0 || buffer.size() >= room ||
        room > static_cast<std::size_t>(std::numeric_limits<GLsizei>::max()))
      return hits;
    buffer.assign(room, 0);
  }
}

void TOpenGLThread2D::DrawConnection(const TDendrogramSection &section) {
  const TDendrogramVertex *line = &Dendrogram.ConnectionVertices()[2 * section.Connection];
  glLineWidth(DeviceWidth(ConnectionLineWidth));
  glBegin(GL_LINE_STRIP);
  glVertex2f(line[0].X, line[0].Y);
  glVertex2f(line[1].X, line[1].Y);
  glEnd();
}

void TOpenGLThread2D::DrawStrip(const TDendrogramSection &section) {
  glLineWidth(DeviceWidth(GraphicLineWidth));
  glDrawArrays(GL_LINE_STRIP, section.FirstVertex, section.SegmentCount + 1);
}

std::size_t TOpenGLThread2D::DrawPickPass(int pass, std::int32_t item, std::int32_t section) {
  std::size_t names = 0;
  const auto loadName = [&names](GLuint name) {
    glLoadName(name);
    ++names;
  };
  const std::vector<TDendrogramItem> &items = Dendrogram.Items();
  const std::vector<TDendrogramSection> &sections = Dendrogram.Sections();
  glEnableClientState(GL_VERTEX_ARRAY);
  // A whole item under one name: all its segments as lines, then its
  // connection lines; the same area as the strips, in two calls.
  const auto drawItem = [&](const TDendrogramItem &placed) {
    glLineWidth(DeviceWidth(GraphicLineWidth));
    glVertexPointer(2, GL_FLOAT, sizeof(TDendrogramVertex), Dendrogram.Vertices().data());
    glDrawElements(GL_LINES, placed.LineCount, GL_UNSIGNED_INT,
                   Dendrogram.SegmentLineIndices().data() + placed.FirstLine);
    if (placed.ConnectionCount > 0) {
      glLineWidth(DeviceWidth(ConnectionLineWidth));
      glVertexPointer(2, GL_FLOAT, sizeof(TDendrogramVertex),
                      Dendrogram.ConnectionVertices().data());
      glDrawArrays(GL_LINES, placed.FirstConnection, placed.ConnectionCount);
    }
  };
  std::size_t next = 0;
  for (std::int32_t i = 0; i < Data->GetItemCount(); ++i) {
    if (pass == 1)
      loadName(static_cast<GLuint>(i) + 1);
    if (next >= items.size() || items[next].Item != i)
      continue;
    const TDendrogramItem &placed = items[next++];
    if (pass == 1 || i != item) {
      if (pass != 1)
        loadName(0);
      drawItem(placed);
      continue;
    }
    glVertexPointer(2, GL_FLOAT, sizeof(TDendrogramVertex), Dendrogram.Vertices().data());
    for (std::int32_t s = placed.First; s < placed.First + placed.Count; ++s) {
      const TDendrogramSection &laid = sections[static_cast<std::size_t>(s)];
      if (laid.Connection >= 0) {
        loadName(0);
        DrawConnection(laid);
      }
      if (pass == 2) {
        loadName(static_cast<GLuint>(laid.IndexInItem) + 1);
        DrawStrip(laid);
      } else if (laid.IndexInItem == section) {
        glLineWidth(DeviceWidth(GraphicLineWidth));
        for (std::int32_t k = 0; k < laid.SegmentCount; ++k) {
          loadName(static_cast<GLuint>(k) + 1);
          glDrawArrays(GL_LINES, laid.FirstVertex + k, 2);
        }
      } else {
        DrawStrip(laid);
      }
    }
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  return names;
}
