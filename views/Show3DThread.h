#pragma once

#include "render/OpenGLViewThread.h"
#include "render/Rgb.h"
#include "views/ModelTransform3D.h"
#include "views/Morphology3D.h"
#include "views/Projection3D.h"

#include <array>

class TDataToColor;
class TGlyphFont;

// The rendering thread of the 3D window: the XYZ axes, the palette bar and the
// morphology of the checked items, every segment in its colour of the current
// frame, in the Wire or Diameter style, placed by the model transformation.
//
// The view is fitted to the model's X and Y extents (square in model units,
// centred, at least 10 pixels from the panel edges); the depth planes hold
// the whole model at any rotation, translation and zoom, and everything drawn
// in the screen plane. Depth is never tested: later primitives paint over
// earlier ones.
//
// Every setter runs on the GUI thread, as the drawing does; each one that
// changes the picture asks for a new frame (Invalidate).
class TOpenGLThread3D : public TOpenGLViewThread {
public:
  enum TShapeStyle { Wire = 0, Diameter = 1 };
  enum TAxisLengthMode { AxisLengthInPixels = 0, AxisLengthInUnits = 1 };

  // Created suspended, with the view extents -1000..1000 until the first
  // projection setup.
  TOpenGLThread3D(TGraphicForm &owner, int sleepPeriodMs);
  ~TOpenGLThread3D() override;

  // The palette shown by the palette bar (not owned).
  void SetPalette(const TDataToColor *palette);

  void SetAxisColors(const QColor &x, const QColor &y, const QColor &z);
  void SetAxisOrigin(int left, int top);
  void SetAxisLengthPixel(int length);
  void SetAxisLengthum(int length);
  void SetAxisLengthMode(int mode);
  void SetAxisLineWidth(float width);
  void SetShowAxes(bool show);
  void SetGraphicLineWidth(float width);
  void SetPalettePosition(int left, int top);
  void SetShowPalette(bool show);
  void SetShapeStyle(int style);

  void SetTranslation(double x, double y);
  void Translate(double dx, double dy);
  void SetRotation(double x, double y, double z);
  void Rotate(double dx, double dy, double dz);
  void SetScale(double x, double y, double z);
  void Zoom(double dx, double dy, double dz);

  const TModelTransform3D &Transform() const { return ModelTransform; }
  int GetShapeStyle() const { return ShapeStyle; }
  bool GetShowAxes() const { return ShowAxes; }

  // The least gap between the model's bounding box and the panel edges.
  static constexpr int MinimumMargin = 10;

protected:
  TMargins ComputeMargins() const override;
  void FitGeometry(int panelLeft, int panelTop, int panelWidth, int panelHeight) override;
  void LoadProjection() override;
  void DrawLayers() override;

private:
  TModelBounds Bounds() const;
  double EmptyExtent() const;
  // The view extents and the model matrix in the units of the frame the
  // vertices are given in.
  TViewGeometry DrawGeometry(const TModelFrame &frame) const;
  TMatrix4d DrawMatrix(const TModelFrame &frame) const;
  double AxisLength(const TViewGeometry &geometry, const TModelFrame &frame) const;
  void DrawAxes(const TViewGeometry &geometry, const TModelFrame &frame) const;
  void DrawModel(const TViewGeometry &geometry, const TModelFrame &frame);
  void DrawWire(const float *colors, const TModelFrame &frame);
  void DrawDiameter(const float *colors, const TViewGeometry &geometry, const TModelFrame &frame);

  const TGlyphFont &Font;
  const TDataToColor *Palette = nullptr;
  std::array<TRgb, 3> AxisColors{};
  int AxisLeft = 50;
  int AxisTop = 100;
  int AxisLengthPixel = 100;
  int AxisLengthum = 100;
  int AxisLengthMode = AxisLengthInPixels;
  float AxisLineWidth = 1.0f;
  bool ShowAxes = false;
  float GraphicLineWidth = 1.0f;
  int PaletteLeft = 50;
  int PaletteTop = 100;
  bool ShowPalette = false;
  int ShapeStyle = Wire;
  TModelTransform3D ModelTransform;
  TMorphology3D Morphology;
};
