#pragma once

#include <QFont>
#include <QFontMetrics>

#include <string_view>

// Text for OpenGL views: the characters 0..127 of a font as bitmap display lists,
// drawn at the raster position, and measured with the metrics of the same font so
// that a measured width is exactly the distance the drawn text advances.
// Characters from 128 up have no list: they draw nothing and measure 0.
//
// The glyphs are rasterised at the device pixel ratio of the window they are
// drawn in: at 2 the font is drawn at twice its point size, as sharp as the
// window's other text, not as a 1x bitmap scaled up. The sizes are given in
// logical pixels (rounded up) and in device pixels.
class TGlyphFont {
public:
  // QFont(name, pointSize) without antialiasing or kerning, so that a glyph is a
  // plain bitmap and a text is the sum of its characters' advances; ratio 1.
  TGlyphFont(const QString &name, int pointSize);

  // Rasterises at this device pixel ratio from now on: the metrics change at
  // once; lists built at another ratio are deleted (their context must be
  // current) and Build makes them again.
  void SetPixelRatio(double ratio);
  double PixelRatio() const { return Ratio; }

  // Builds the 128 display lists in the current context. Nothing happens when
  // the lists exist or when the context cannot give lists (IsBuilt stays false).
  void Build();
  // Deletes the lists; the context they were built in must be current.
  void Release();
  bool IsBuilt() const { return Base != 0; }

  // Width of the text as drawn, in logical pixels (rounded up) and in device
  // pixels (exact).
  int TextWidth(std::string_view text) const;
  int DeviceTextWidth(std::string_view text) const;
  // The font's line height in logical pixels (rounded up) and device pixels.
  int TextHeight() const;
  int DeviceTextHeight() const { return Metrics.height(); }

  // Draws the text with its baseline starting at (x, y) in the current
  // projection, in the current colour. Nothing is drawn when the lists do not
  // exist or the position lies outside the viewport.
  void Draw(double x, double y, std::string_view text) const;

  // The font rasterised at the current ratio.
  const QFont &Font() const { return FontUsed; }
  // Base of the lists (0 when not built).
  unsigned int ListBase() const { return Base; }

  static constexpr int GlyphCount = 128;

private:
  int Advance(unsigned char c) const;

  QString Name;
  int PointSize;
  double Ratio = 1.0;
  QFont FontUsed;
  QFontMetrics Metrics;
  unsigned int Base = 0;
};
