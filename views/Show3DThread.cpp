#include "views/Show3DThread.h"

#include "data/NeuronDataFile.h"
#include "render/GlyphFont.h"
#include "render/PipelinedDraw.h"
#include "views/CurrentFrame.h"
#include "views/PaletteBar.h"

#include <algorithm>
#include <cmath>
#include <qopengl.h>

namespace {

constexpr int LabelFontSize = 8;

} // namespace

TOpenGLThread3D::TOpenGLThread3D(TGraphicForm &owner, int sleepPeriodMs)
    : TOpenGLViewThread(owner, {-990.0, 990.0, -990.0, 990.0}, sleepPeriodMs),
      Font(Panel().AddGlyphFont("Arial", LabelFontSize)) {}

TOpenGLThread3D::~TOpenGLThread3D() {
  TerminateAndWait();
}

void TOpenGLThread3D::SetPalette(const TDataToColor *palette) {
  Palette = palette;
  Invalidate();
}

void TOpenGLThread3D::SetAxisColors(const QColor &x, const QColor &y, const QColor &z) {
  AxisColors = {ToRgb(x), ToRgb(y), ToRgb(z)};
  Invalidate();
}

void TOpenGLThread3D::SetAxisOrigin(int left, int top) {
  AxisLeft = left;
  AxisTop = top;
  Invalidate();
}

void TOpenGLThread3D::SetAxisLengthPixel(int length) {
  AxisLengthPixel = length;
  Invalidate();
}

void TOpenGLThread3D::SetAxisLengthum(int length) {
  AxisLengthum = length;
  Invalidate();
}

void TOpenGLThread3D::SetAxisLengthMode(int mode) {
  AxisLengthMode = mode;
  Invalidate();
}

void TOpenGLThread3D::SetAxisLineWidth(float width) {
  AxisLineWidth = width;
  Invalidate();
}

void TOpenGLThread3D::SetShowAxes(bool show) {
  ShowAxes = show;
  Invalidate();
}

void TOpenGLThread3D::SetGraphicLineWidth(float width) {
  GraphicLineWidth = width;
  Invalidate();
}

void TOpenGLThread3D::SetPalettePosition(int left, int top) {
  PaletteLeft = left;
  PaletteTop = top;
  Invalidate();
}

void TOpenGLThread3D::SetShowPalette(bool show) {
  ShowPalette = show;
  Invalidate();
}

void TOpenGLThread3D::SetShapeStyle(int style) {
  ShapeStyle = style;
  Invalidate();
}

void TOpenGLThread3D::SetTranslation(double x, double y) {
  ModelTransform.SetTranslation(x, y);
  Invalidate();
}

void TOpenGLThread3D::Translate(double dx, double dy) {
  ModelTransform.Translate(dx, dy);
  Invalidate();
}

void TOpenGLThread3D::SetRotation(double x, double y, double z) {
  ModelTransform.SetRotation(x, y, z);
  Invalidate();
}

void TOpenGLThread3D::Rotate(double dx, double dy, double dz) {
  ModelTransform.Rotate(dx, dy, dz);
  Invalidate();
}

void TOpenGLThread3D::SetScale(double x, double y, double z) {
  ModelTransform.SetScale(x, y, z);
  Invalidate();
}

void TOpenGLThread3D::Zoom(double dx, double dy, double dz) {
  ModelTransform.Zoom(dx, dy, dz);
  Invalidate();
}

TModelBounds TOpenGLThread3D::Bounds() const {
  if (Data == nullptr)
    return {};
  return {Data->GetMinX(), Data->GetMaxX(), Data->GetMinY(),
          Data->GetMaxY(), Data->GetMinZ(), Data->GetMaxZ()};
}

double TOpenGLThread3D::EmptyExtent() const {
  // A model seen as a point (or a line along z) is shown with room for its
  // length in z and its widest diameter.
  double extent = Data != nullptr ? Data->GetMaxZ() - Data->GetMinZ() : 0.0;
  if (Data != nullptr)
    for (const TDataFileSectionInfo &section : Data->GetSections())
      for (const double diameter : section.Diameters)
        extent = std::max(extent, diameter);
  return extent;
}

TMargins TOpenGLThread3D::ComputeMargins() const {
  return {MinimumMargin, MinimumMargin, MinimumMargin, MinimumMargin};
}

void TOpenGLThread3D::FitGeometry(int panelLeft, int panelTop, int panelWidth, int panelHeight) {
  const TModelBounds bounds = Bounds();
  const bool flat = bounds.MaxX == bounds.MinX && bounds.MaxY == bounds.MinY;
  FitModelView(Geometry, bounds, panelLeft, panelTop, panelWidth, panelHeight, MinimumMargin,
               flat ? EmptyExtent() : 0.0);
}

double TOpenGLThread3D::AxisLength() const {
  return AxisLengthMode == AxisLengthInUnits ? AxisLengthum : Geometry.XUnits(AxisLengthPixel);
}

void TOpenGLThread3D::LoadProjection() {
  const std::array<double, 3> &scale = ModelTransform.Scale();
  const double largest = std::max({std::fabs(scale[0]), std::fabs(scale[1]), std::fabs(scale[2])});
  const TDepthRange depth = ModelDepthRange(Bounds(), largest, ShowAxes ? AxisLength() : 0.0);
  if (Geometry.ViewLeft != Geometry.ViewRight && Geometry.ViewBottom != Geometry.ViewTop)
    glOrtho(Geometry.ViewLeft, Geometry.ViewRight, Geometry.ViewBottom, Geometry.ViewTop,
            depth.Near, depth.Far);
}

void TOpenGLThread3D::DrawLayers() {
  if (ShowAxes)
    DrawAxes();
  // The palette changes on the GUI thread only, like this drawing: no lock.
  if (ShowPalette && Palette != nullptr)
    DrawPaletteBar(*Palette, Geometry, Font, PaletteLeft, PaletteTop);
  if (Data != nullptr)
    DrawModel();
}

void TOpenGLThread3D::DrawAxes() const {
  glPushMatrix();
  glTranslated(Geometry.ViewLeft + Geometry.XUnits(AxisLeft),
               Geometry.ViewTop - Geometry.YUnits(AxisTop), 0.0);
  // The axes turn with the model but follow neither its zoom nor its translation.
  glMultMatrixd(ModelTransform.RotationMatrix().data());
  glLineWidth(DeviceWidth(AxisLineWidth));
  const double length = AxisLength();
  glBegin(GL_LINES);
  for (int axis = 0; axis < 3; ++axis) {
    const TRgb &color = AxisColors[static_cast<std::size_t>(axis)];
    glColor3f(color[0], color[1], color[2]);
    glVertex3d(0.0, 0.0, 0.0);
    glVertex3d(axis == 0 ? length : 0.0, axis == 1 ? length : 0.0, axis == 2 ? length : 0.0);
  }
  glEnd();
  glPopMatrix();
}

void TOpenGLThread3D::DrawModel() {
  const std::optional<TCurrentFrame> frame = FetchCurrentFrame(*Data);
  if (!frame)
    return;
  Morphology.Update(*Data);
  if (!Morphology.Lines().empty()) {
    // Every line and band lies within one segment, all its vertices of one
    // colour: flat shading gives the same pixels and spares the rasteriser
    // the colour's interpolation.
    glShadeModel(GL_FLAT);
    if (ShapeStyle == Wire)
      DrawWire(frame->Colors);
    else
      DrawDiameter(frame->Colors);
    glShadeModel(GL_SMOOTH);
  }
  SetLastDrawnTime(frame->Time);
}

void TOpenGLThread3D::DrawWire(const float *colors) {
  Morphology.Color(colors);
  glPushMatrix();
  glMultMatrixd(ModelTransform.Matrix().data());
  glLineWidth(DeviceWidth(GraphicLineWidth));
  // Client-side arrays (OpenGL 1.1): every segment's strip as its line pieces,
  // all in one call.
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, Morphology.Points().data());
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, Morphology.PointColors().data());
  DrawIndexedInParts(GL_LINES, Morphology.Lines());
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  glPopMatrix();
}

void TOpenGLThread3D::DrawDiameter(const float *colors) {
  // The corners are given in eye coordinates, so the bands face the screen
  // whatever the rotation.
  Morphology.BuildBands(ModelTransform.Matrix(), Geometry.XUnits(1.0));
  Morphology.ColorBands(colors);
  glEnable(GL_POLYGON_SMOOTH);
  glLineWidth(DeviceWidth(1.0f));
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, Morphology.BandCorners().data());
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, Morphology.BandColors().data());
  // Outlines first, so that a band narrower than a pixel still shows as a line.
  DrawIndexedInParts(GL_LINES, Morphology.BandOutlines());
  DrawIndexedInParts(GL_QUADS, Morphology.BandFills());
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}
