#pragma once

#include "render/AxisMath.h"
#include "render/Rgb.h"

class TGlyphFont;

// Draws laid-out axes in the current projection: the horizontal axis, its ticks
// and labels in xColor, then the vertical ones in yColor, lines lineWidth wide,
// labels with font.
void DrawAxes(const TAxesLayout &layout, const TRgb &xColor, const TRgb &yColor, float lineWidth,
              const TGlyphFont &font);
