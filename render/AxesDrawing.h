#pragma once

#include "render/AxisMath.h"
#include "render/Rgb.h"

class TGlyphFont;

// The margins of a graph with these axes: 30 pixels on every side, on the left
// plus the width of the wider of the vertical bounds written as "%.15g".
TMargins AxesMargins(const TDataWindow &window, const TGlyphFont &font);

// LayoutAxes with the labels measured in the font they are drawn with.
TAxesLayout LayoutAxes(const TAxesRequest &request, const TViewGeometry &geometry,
                       const TGlyphFont &font);

// Draws laid-out axes in the current projection: the horizontal axis, its ticks
// and labels in xColor, then the vertical ones in yColor, lines lineWidth device
// pixels wide, labels with font.
void DrawAxes(const TAxesLayout &layout, const TRgb &xColor, const TRgb &yColor, float lineWidth,
              const TGlyphFont &font);
