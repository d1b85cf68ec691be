#include "render/AxesDrawing.h"

#include "render/GlyphFont.h"

#include <qopengl.h>

#include <algorithm>

namespace {

constexpr int AxisMargin = 30;

void DrawAxis(const TAxisLine &axis, const std::vector<TAxisLine> &ticks,
              const std::vector<TAxisLabel> &labels, const TRgb &color, const TGlyphFont &font) {
  glColor3f(color[0], color[1], color[2]);
  glBegin(GL_LINES);
  glVertex2d(axis.X1, axis.Y1);
  glVertex2d(axis.X2, axis.Y2);
  for (const TAxisLine &tick : ticks) {
    glVertex2d(tick.X1, tick.Y1);
    glVertex2d(tick.X2, tick.Y2);
  }
  glEnd();
  for (const TAxisLabel &label : labels)
    font.Draw(label.X, label.Y, label.Text);
}

} // namespace

TMargins AxesMargins(const TDataWindow &window, const TGlyphFont &font) {
  const int widest = std::max(font.TextWidth(GeneralNumberText(window.YMin)),
                              font.TextWidth(GeneralNumberText(window.YMax)));
  return {AxisMargin + widest, AxisMargin, AxisMargin, AxisMargin};
}

TAxesLayout LayoutAxes(const TAxesRequest &request, const TViewGeometry &geometry,
                       const TGlyphFont &font) {
  return LayoutAxes(
      request, geometry, [&font](const std::string &text) { return font.TextWidth(text); },
      font.TextHeight());
}

void DrawAxes(const TAxesLayout &layout, const TRgb &xColor, const TRgb &yColor, float lineWidth,
              const TGlyphFont &font) {
  glLineWidth(lineWidth);
  DrawAxis(layout.XAxis, layout.XTicks, layout.XLabels, xColor, font);
  DrawAxis(layout.YAxis, layout.YTicks, layout.YLabels, yColor, font);
}
