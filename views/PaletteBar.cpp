#include "views/PaletteBar.h"

#include "data/DataToColor.h"
#include "render/GlyphFont.h"
#include "render/ViewGeometry.h"

#include <qopengl.h>

#include <cstdio>

namespace {

constexpr int BoxWidth = 15;
constexpr int LabelGapX = 3;
constexpr int LabelGapY = 4;

} // namespace

void DrawPaletteBar(const TDataToColor &palette, const TViewGeometry &geometry,
                    const TGlyphFont &font, int left, int top) {
  const double width = geometry.XUnits(BoxWidth);
  const double height = geometry.YUnits(font.TextHeight() + 2);
  const int count = palette.GetColorCount();
  glPushMatrix();
  glTranslated(geometry.ViewLeft + geometry.XUnits(left), geometry.ViewTop - geometry.YUnits(top),
               0.0);
  glBegin(GL_QUADS);
  for (int i = 0; i < count; ++i) {
    glColor3fv(palette.GetColor(i).data());
    glVertex2d(0.0, i * height);
    glVertex2d(width, i * height);
    glVertex2d(width, (i + 1) * height);
    glVertex2d(0.0, (i + 1) * height);
  }
  glEnd();
  glColor3f(0.0f, 0.0f, 0.0f);
  const double labelX = width + geometry.XUnits(LabelGapX);
  const double labelY = geometry.YUnits(LabelGapY);
  for (int i = 0; i < count; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", palette.GetColorValue(i));
    font.Draw(labelX, i * height + labelY, text);
  }
  glPopMatrix();
}
