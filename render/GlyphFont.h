#pragma once

#include <QFont>
#include <QFontMetrics>

#include <string_view>

// Text for OpenGL views: the characters 0..127 of a font as bitmap display lists,
// drawn at the raster position, and measured with the metrics of the same font so
// that a measured width is exactly the distance the drawn text advances.
// Characters from 128 up have no list: they draw nothing and measure 0.
class TGlyphFont {
public:
  // QFont(name, pointSize) without antialiasing or kerning, so that a glyph is a
  // plain bitmap and a text is the sum of its characters' advances.
  TGlyphFont(const QString &name, int pointSize);

  // Builds the 128 display lists in the current context. Nothing happens when
  // the lists exist or when the context cannot give lists (IsBuilt stays false).
  void Build();
  // Deletes the lists; the context they were built in must be current.
  void Release();
  bool IsBuilt() const { return Base != 0; }

  // Pixel width of the text as drawn.
  int TextWidth(std::string_view text) const;
  // The font's line height in pixels.
  int TextHeight() const { return Metrics.height(); }

  // Draws the text with its baseline starting at (x, y) in the current
  // projection, in the current colour. Nothing is drawn when the lists do not
  // exist or the position lies outside the viewport.
  void Draw(double x, double y, std::string_view text) const;

  const QFont &Font() const { return FontUsed; }
  // Base of the lists (0 when not built).
  unsigned int ListBase() const { return Base; }

  static constexpr int GlyphCount = 128;

private:
  int Advance(unsigned char c) const;

  QFont FontUsed;
  QFontMetrics Metrics;
  unsigned int Base = 0;
};
