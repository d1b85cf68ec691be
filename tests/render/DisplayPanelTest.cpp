#include "PanelWindow.h"
#include "render/GlyphFont.h"
#include "render/OpenGLDisplayPanel.h"

#include <QDir>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Saves an image a failed comparison was about, for a look.
std::string Keep(const QImage &image, const QString &name) {
  const QString path = QDir::temp().filePath("dendrovia-" + name + ".png");
  image.save(path);
  return path.toStdString();
}

// Columns holding a dark pixel: first and last, or (-1, -1).
std::pair<int, int> InkColumns(const QImage &image) {
  int first = -1, last = -1;
  for (int x = 0; x < image.width(); ++x)
    for (int y = 0; y < image.height(); ++y)
      if (qGray(image.pixel(x, y)) < 128) {
        if (first < 0)
          first = x;
        last = x;
        break;
      }
  return {first, last};
}

TEST(GlyphFont, ArialResolvesToAMetricCompatibleFace) {
  const TGlyphFont font("Arial", 10);
  const QString family = QFontInfo(font.Font()).family();
  EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
  EXPECT_GT(font.TextWidth("0"), 4);
  // Bytes from 128 up have no glyph: "é" is two of them in UTF-8.
  EXPECT_EQ(font.TextWidth("\xc3\xa9"), 0);
  EXPECT_EQ(font.TextWidth("1\xc3\xa9"), font.TextWidth("1"));
}

TEST(GlyphFont, TextDrawsExactlyAsWideAsItMeasures) {
  TPanelWindow window;
  TGlyphFont &font = window.Panel->AddGlyphFont("Arial", 10);
  ASSERT_TRUE(window.Show());
  ASSERT_TRUE(font.IsBuilt());
  const std::string head = "-80.0";
  const std::string tail = "4725 Wy";

  // The whole text, then its two halves with the second started at the first's
  // measured width: the pictures must match pixel for pixel.
  window.Renderer.Draw = [&] { font.Draw(10, 20, head + tail); };
  const QImage whole = window.Panel->grabFramebuffer();
  window.Renderer.Draw = [&] {
    font.Draw(10, 20, head);
    font.Draw(10 + font.TextWidth(head), 20, tail);
  };
  const QImage halves = window.Panel->grabFramebuffer();
  EXPECT_EQ(whole, halves) << Keep(whole, "glyph-whole") << " " << Keep(halves, "glyph-halves");

  // The ink lies within the measured width.
  window.Renderer.Draw = [&] { font.Draw(10, 20, "-80.000"); };
  const QImage number = window.Panel->grabFramebuffer();
  const auto [first, last] = InkColumns(number);
  const int width = font.TextWidth("-80.000");
  EXPECT_GE(first, 10) << Keep(number, "glyph-number");
  EXPECT_LT(last, 10 + width) << Keep(number, "glyph-number");
  EXPECT_GE(last, 10 + width - font.TextWidth("0")) << Keep(number, "glyph-number");
}

TEST(DisplayPanel, HidingAndShowingKeepsTheContextAndTheLists) {
  TPanelWindow window;
  TGlyphFont &font = window.Panel->AddGlyphFont("Arial", 8);
  ASSERT_TRUE(window.Show());
  const QOpenGLContext *context = window.Panel->context();
  const unsigned int base = font.ListBase();
  ASSERT_NE(base, 0u);
  window.Window.hide();
  QTest::qWait(20);
  ASSERT_TRUE(window.Show());
  EXPECT_EQ(window.Panel->context(), context);
  EXPECT_EQ(font.ListBase(), base);
  EXPECT_EQ(window.Panel->CheckContext(), TContextFailure::None);
}

// What the screen shows of the panel.
QImage ScreenOf(const TOpenGLDisplayPanel &panel) {
  const QPoint origin = panel.mapToGlobal(QPoint(0, 0));
  return QGuiApplication::primaryScreen()
      ->grabWindow(0, origin.x(), origin.y(), panel.width(), panel.height())
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

// A frame's picture, read before the swap, is what the screen then shows,
// without drawing the frame again; also for the first frame after a resize,
// whether or not a frame was swapped before it.
TEST(DisplayPanel, AFramesPictureIsWhatTheScreenShows) {
  struct TCase {
    const char *Name;
    bool FrameBefore;
    QSize Size;
  };
  for (const TCase &c : {TCase{"first frame", false, QSize(300, 60)},
                         TCase{"first frame after a resize", false, QSize(301, 63)},
                         TCase{"frame after a resize", true, QSize(257, 41)}}) {
    SCOPED_TRACE(c.Name);
    TPanelWindow window;
    // A mark in the top left corner shows which way up the picture is.
    window.Renderer.Draw = [&] {
      glRecti(5, window.Panel->height() - 15, 25, window.Panel->height() - 5);
    };
    window.Window.move(900, 60);
    ASSERT_TRUE(window.Show());
    if (c.FrameBefore) {
      ASSERT_TRUE(window.Panel->PaintNow());
    }
    window.Window.resize(c.Size);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Panel->size() == c.Size; }));
    const int paints = window.Renderer.Paints;
    QImage picture;
    ASSERT_TRUE(window.Panel->PaintNow(&picture));
    if (c.FrameBefore) {
      EXPECT_EQ(window.Renderer.Paints, paints + 1);
    }
    // Once the buffers have the window's size, a frame is one drawing.
    const int before = window.Renderer.Paints;
    QImage again;
    ASSERT_TRUE(window.Panel->PaintNow(&again));
    EXPECT_EQ(window.Renderer.Paints, before + 1);
    ASSERT_EQ(picture.size(), c.Size);
    EXPECT_EQ(qGray(picture.pixel(10, 5)), 0);
    EXPECT_EQ(qGray(picture.pixel(10, c.Size.height() - 5)), 255);
    EXPECT_EQ(picture, again);
    QTest::qWait(20);
    EXPECT_EQ(picture, ScreenOf(*window.Panel))
        << Keep(picture, "picture") << " " << Keep(ScreenOf(*window.Panel), "screen");
  }
}

// Parts of the window that another window uncovers are drawn again.
TEST(DisplayPanel, AnUncoveredPanelAsksForAFrame) {
  TPanelWindow window;
  window.Window.move(900, 200);
  ASSERT_TRUE(window.Show());
  ASSERT_TRUE(window.Panel->PaintNow());
  int exposed = 0;
  QObject::connect(window.Panel, &TOpenGLDisplayPanel::Exposed, [&] { ++exposed; });
  QWidget cover;
  cover.setGeometry(QRect(window.Panel->mapToGlobal(QPoint(10, 10)), QSize(50, 30)));
  cover.setWindowFlags(Qt::X11BypassWindowManagerHint);
  cover.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover));
  cover.hide();
  EXPECT_TRUE(QTest::qWaitFor([&] { return exposed > 0; }));
}

} // namespace
