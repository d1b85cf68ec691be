#include "render/GlyphFont.h"

#include "render/DevicePixels.h"

#include <QImage>
#include <QPainter>
#include <qopengl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

QFont BitmapFont(const QString &name, int pointSize, double ratio) {
  QFont font(name);
  font.setPointSizeF(pointSize * ratio);
  font.setStyleStrategy(QFont::NoAntialias);
  font.setKerning(false);
  return font;
}

// One glyph as a glBitmap: rows bottom-up, most significant bit first, rows
// padded to whole bytes; the origin is the glyph's baseline start.
struct TGlyphBitmap {
  int Width = 0;
  int Height = 0;
  float XOrigin = 0.0f;
  float YOrigin = 0.0f;
  std::vector<GLubyte> Bits;
};

TGlyphBitmap RasteriseGlyph(const QFont &font, const QFontMetrics &metrics, unsigned char c) {
  TGlyphBitmap glyph;
  if (c < 32)
    return glyph;
  // Room on every side so that no part of a glyph with large bearings is cut off.
  const int pad = metrics.height();
  const int baselineX = pad;
  const int baselineY = pad + metrics.ascent();
  QImage image(metrics.maxWidth() + 2 * pad, metrics.height() + 2 * pad, QImage::Format_Grayscale8);
  image.fill(0);
  {
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(baselineX, baselineY, QString(QChar(c)));
  }
  int left = image.width(), right = -1, top = image.height(), bottom = -1;
  for (int y = 0; y < image.height(); ++y) {
    const uchar *row = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      if (row[x] >= 128) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  if (right < 0)
    return glyph;
  glyph.Width = right - left + 1;
  glyph.Height = bottom - top + 1;
  glyph.XOrigin = static_cast<float>(baselineX - left);
  // The image row just above the baseline is the first pixel row at or above the
  // raster position.
  glyph.YOrigin = static_cast<float>(bottom + 1 - baselineY);
  const int rowBytes = (glyph.Width + 7) / 8;
  glyph.Bits.assign(static_cast<size_t>(rowBytes * glyph.Height), 0);
  for (int r = 0; r < glyph.Height; ++r) {
    const uchar *row = image.constScanLine(bottom - r);
    GLubyte *out = glyph.Bits.data() + static_cast<size_t>(r * rowBytes);
    for (int x = 0; x < glyph.Width; ++x)
      if (row[left + x] >= 128)
        out[x / 8] |= static_cast<GLubyte>(0x80 >> (x % 8));
  }
  return glyph;
}

} // namespace

TGlyphFont::TGlyphFont(const QString &name, int pointSize)
    : Name(name), PointSize(pointSize), FontUsed(BitmapFont(name, pointSize, 1.0)),
      Metrics(FontUsed) {}

void TGlyphFont::SetPixelRatio(double ratio) {
  if (ratio <= 0.0 || ratio == Ratio)
    return;
  Release();
  Ratio = ratio;
  FontUsed = BitmapFont(Name, PointSize, Ratio);
  Metrics = QFontMetrics(FontUsed);
}

int TGlyphFont::Advance(unsigned char c) const {
  if (c < 32 || c >= GlyphCount)
    return 0;
  return Metrics.horizontalAdvance(QChar(c));
}

void TGlyphFont::Build() {
  if (Base != 0)
    return;
  const GLuint base = glGenLists(GlyphCount);
  if (base == 0)
    return;
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (int c = 0; c < GlyphCount; ++c) {
    const TGlyphBitmap glyph = RasteriseGlyph(FontUsed, Metrics, static_cast<unsigned char>(c));
    // A glyph without ink (a blank) is one clear pixel: Mesa does not move the
    // raster position for a bitmap of no pixels, so "100 um" would read "100um".
    static const GLubyte clear = 0;
    const bool ink = !glyph.Bits.empty();
    glNewList(base + static_cast<GLuint>(c), GL_COMPILE);
    glBitmap(ink ? glyph.Width : 1, ink ? glyph.Height : 1, glyph.XOrigin, glyph.YOrigin,
             static_cast<float>(Advance(static_cast<unsigned char>(c))), 0.0f,
             ink ? glyph.Bits.data() : &clear);
    glEndList();
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  Base = base;
}

void TGlyphFont::Release() {
  if (Base == 0)
    return;
  glDeleteLists(Base, GlyphCount);
  Base = 0;
}

int TGlyphFont::TextWidth(std::string_view text) const {
  return LogicalCeil(DeviceTextWidth(text), Ratio);
}

int TGlyphFont::TextHeight() const {
  return LogicalCeil(Metrics.height(), Ratio);
}

int TGlyphFont::DeviceTextWidth(std::string_view text) const {
  int width = 0;
  for (char c : text)
    width += Advance(static_cast<unsigned char>(c));
  return width;
}

void TGlyphFont::Draw(double x, double y, std::string_view text) const {
  if (Base == 0 || text.empty())
    return;
  // Bytes from 128 up would call lists beyond the font's; they draw nothing.
  std::string bytes;
  bytes.reserve(text.size());
  for (char c : text)
    bytes.push_back(static_cast<unsigned char>(c) < GlyphCount ? c : '\0');
  glListBase(Base);
  glRasterPos2d(x, y);
  glCallLists(static_cast<GLsizei>(bytes.size()), GL_UNSIGNED_BYTE, bytes.data());
}
