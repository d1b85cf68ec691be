#pragma once

#include "render/ViewGeometry.h"

// The bounding box of a model, in model units.
struct TModelBounds {
  double MinX = 0.0;
  double MaxX = 0.0;
  double MinY = 0.0;
  double MaxY = 0.0;
  double MinZ = 0.0;
  double MaxZ = 0.0;
};

// Fits the orthographic view extents of geometry to a model seen along z,
// centred on the box, with one scale for x and y: the larger of the box's X
// and Y extents fills the smaller panel dimension, or less where that would
// bring the box closer than minimumMargin pixels to a panel edge (a panel not
// wider or higher than two margins cannot keep them on that axis).
//
// A box without X and Y extent (one point, or a line along z) is taken as a
// square of side emptyExtent about its centre (1 when emptyExtent is not
// positive). A panel of no width or height sets the panel extents and keeps
// the view extents: there is nothing to fit them to.
void FitModelView(TViewGeometry &geometry, const TModelBounds &bounds, int panelLeft, int panelTop,
                  int panelWidth, int panelHeight, int minimumMargin, double emptyExtent);

// The near and far planes of an orthographic projection.
struct TDepthRange {
  double Near = -1.0;
  double Far = 1.0;
};

// Planes symmetric about eye z = 0 that hold every point of the box after any
// rotation about the model origin scaled by scale (any translation in x and y
// leaves z alone), and anything drawn at the eye origin up to reach in depth
// (the axes). Depth is never tested, so the span costs no precision.
TDepthRange ModelDepthRange(const TModelBounds &bounds, double scale, double reach);

// Where the model's vertices are expressed before they become floats for
// OpenGL: relative to a centre, in units of Unit (a power of two, so that the
// division is exact). A model whose coordinates all lie within 1e30 keeps its
// own coordinates (centre 0, unit 1) and draws exactly as given; a larger one
// would overflow a float, so it is taken relative to the centre of its box in
// units of about half its extent (at most 2^1023).
struct TModelFrame {
  bool Relative = false;
  double CentreX = 0.0;
  double CentreY = 0.0;
  double CentreZ = 0.0;
  double Unit = 1.0;

  bool operator==(const TModelFrame &) const = default;
};
TModelFrame ModelFrame(const TModelBounds &bounds);

// geometry's view extents in the frame's eye units: less eyeX, eyeY (where the
// model's centre lies on the screen plane), divided by the unit.
TViewGeometry FrameGeometry(const TViewGeometry &geometry, const TModelFrame &frame, double eyeX,
                            double eyeY);
