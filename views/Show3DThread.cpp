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

TViewGeometry TOpenGLThread3D::DrawGeometry(const TModelFrame &frame) const {
  if (!frame.Relative)
    return Geometry;
  // The model's centre sits at the eye origin of the relative drawing.
  const std::array<double, 3> eye =
      ::Transform(ModelTransform.Matrix(), frame.CentreX, frame.CentreY, frame.CentreZ);
  return FrameGeometry(Geometry, frame, eye[0], eye[1]);
}

TMatrix4d TOpenGLThread3D::DrawMatrix(const TModelFrame &frame) const {
  TMatrix4d matrix = ModelTransform.Matrix();
  // The translation is in the eye position of the centre, taken out above.
  if (frame.Relative)
    matrix[12] = matrix[13] = matrix[14] = 0.0;
  return matrix;
}

double TOpenGLThread3D::AxisLength(const TViewGeometry &geometry, const TModelFrame &frame) const {
  return AxisLengthMode == AxisLengthInUnits ? AxisLengthum / frame.Unit
                                             : geometry.XUnits(AxisLengthPixel);
}

void TOpenGLThread3D::LoadProjection() {
  const TModelFrame frame = ModelFrame(Bounds());
  const TViewGeometry geometry = DrawGeometry(frame);
  const std::array<double, 3> &scale = ModelTransform.Scale();
  const double largest = std::max({std::fabs(scale[0]), std::fabs(scale[1]), std::fabs(scale[2])});
  TModelBounds bounds = Bounds();
  if (frame.Relative)
    bounds = {
        (bounds.MinX - frame.CentreX) / frame.Unit, (bounds.MaxX - frame.CentreX) / frame.Unit,
        (bounds.MinY - frame.CentreY) / frame.Unit, (bounds.MaxY - frame.CentreY) / frame.Unit,
        (bounds.MinZ - frame.CentreZ) / frame.Unit, (bounds.MaxZ - frame.CentreZ) / frame.Unit};
  const TDepthRange depth =
      ModelDepthRange(bounds, largest, ShowAxes ? AxisLength(geometry, frame) : 0.0);
  if (geometry.ViewLeft != geometry.ViewRight && geometry.ViewBottom != geometry.ViewTop)
    glOrtho(geometry.ViewLeft, geometry.ViewRight, geometry.ViewBottom, geometry.ViewTop,
            depth.Near, depth.Far);
}

void TOpenGLThread3D::DrawLayers() {
  const TModelFrame frame = ModelFrame(Bounds());
  const TViewGeometry geometry = DrawGeometry(frame);
  if (ShowAxes)
    DrawAxes(geometry, frame);
  // The palette changes on the GUI thread only, like this drawing: no lock.
  if (ShowPalette && Palette != nullptr)
    DrawPaletteBar(*Palette, geometry, Font, PaletteLeft, PaletteTop);
  if (Data != nullptr)
    DrawModel(geometry, frame);
}

void TOpenGLThread3D::DrawAxes(const TViewGeometry &geometry, const TModelFrame &frame) const {
  glPushMatrix();
  glTranslated(geometry.ViewLeft + geometry.XUnits(AxisLeft),
               geometry.ViewTop - geometry.YUnits(AxisTop), 0.0);
  // The axes turn with the model but follow neither its zoom nor its translation.
  glMultMatrixd(ModelTransform.RotationMatrix().data());
  glLineWidth(DeviceWidth(AxisLineWidth));
  const double length = AxisLength(geometry, frame);
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

void TOpenGLThread3D::DrawModel(const TViewGeometry &geometry, const TModelFrame &frame) {
  const std::optional<TCurrentFrame> current = FetchCurrentFrame(*Data);
  if (!current)
    return;
  Morphology.Update(*Data, frame);
  if (!Morphology.Lines().empty()) {
    // Every line and band lies within one segment, all its vertices of one
    // colour: flat shading gives the same pixels and spares the rasteriser
    // the colour's interpolation.
    glShadeModel(GL_FLAT);
    if (ShapeStyle == Wire)
      DrawWire(current->Colors, frame);
    else
      DrawDiameter(current->Colors, geometry, frame);
    glShadeModel(GL_SMOOTH);
  }
  SetLastDrawnTime(current->Time);
}

void TOpenGLThread3D::DrawWire(const float *colors, const TModelFrame &frame) {
  Morphology.Color(colors);
  glPushMatrix();
  glMultMatrixd(DrawMatrix(frame).data());
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

void TOpenGLThread3D::DrawDiameter(const float *colors, const TViewGeometry &geometry,
                                   const TModelFrame &frame) {
  // The corners are given in eye coordinates, so the bands face the screen
  // whatever the rotation.
  Morphology.BuildBands(DrawMatrix(frame), geometry.XUnits(1.0));
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
