// The views at the device pixel ratio the environment gives (QT_SCALE_FACTOR):
// CTest runs this program at 1, 1.5 and 2. Whatever the ratio, a view must
// look like the 1x view drawn with more pixels: everything in logical pixels
// times the ratio, clicks at the same logical points answering the same.

#include "ViewTestData.h"
#include "ViewWindowTest.h"

#include "render/DevicePixels.h"
#include "render/GlyphFont.h"
#include "render/OpenGLDisplayPanel.h"
#include "render/PanelWindow.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show1D.h"
#include "views/Show1DThread.h"
#include "views/Show2D.h"
#include "views/Show2DThread.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cmath>
#include <memory>

namespace {

const TRgbBytes White{255, 255, 255};

double EnvironmentRatio() {
  const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
  return factor.isEmpty() ? 1.0 : factor.toDouble();
}

// The ink box of the pixels that pass within the rectangle of the picture.
QRect InkBox(const QImage &picture, const QRect &area, const std::function<bool(QRgb)> &ink) {
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (picture.valid(x, y) && ink(picture.pixel(x, y)))
        box |= QRect(x, y, 1, 1);
  return box;
}

bool IsBlack(QRgb pixel) {
  return Rgb(pixel) == TRgbBytes{0, 0, 0};
}

// The ink box of a text drawn by the toolkit at 1x with the views' label font
// at a point size.
QRect ToolkitInk(const QString &text, double pointSize) {
  QFont font("Arial");
  font.setPointSizeF(pointSize);
  font.setStyleStrategy(QFont::NoAntialias);
  font.setKerning(false);
  QImage image(400, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(50, 100, text);
  }
  return InkBox(image, image.rect(), IsBlack);
}

// The longest run of passing steps from `from`, count steps of `step`.
int LongestRun(QPoint from, QPoint step, int count, const std::function<bool(QPoint)> &passes) {
  int run = 0, longest = 0;
  for (int i = 0; i < count; ++i, from += step) {
    run = passes(from) ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

// The native window's size as the X server holds it.
QSize ServerSize(const QWindow &window) {
  auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t *connection = x11->connection();
  const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> reply(
      xcb_get_geometry_reply(
          connection, xcb_get_geometry(connection, static_cast<xcb_window_t>(window.winId())),
          nullptr),
      &std::free);
  return reply ? QSize(reply->width, reply->height) : QSize();
}

// A click of the left button as the X server gives it, at a device pixel of
// the window.
void ServerClick(const QWindow &window, QPoint device) {
  ASSERT_EQ(
      QProcess::execute("xdotool",
                        {"mousemove", "--sync", "--window", QString::number(window.winId()),
                         QString::number(device.x()), QString::number(device.y()), "click", "1"}),
      0);
}

// The tree of the 2D tests: item 0 the soma (row 70), item 1 dend and a on row
// 50, b on row 40, item 2 axon and axon2 on row 20.
const std::vector<TNeuronDataWriter::TSection> Tree{
    StraightSection("soma", -1, 10, 1), StraightSection("dend", 0, 100, 2),
    StraightSection("a", 1, 40, 1),     TaperedSection("b", 1, 40, 4, 2.0, 1.0),
    StraightSection("axon", 0, 60, 3),  StraightSection("axon2", 4, 45, 3)};

std::vector<double> Frame() {
  return {0.5, -40, -20, 0, 20, 45, -40, -20, 0, 20, 0, -20, -40, 20, 45};
}

class PixelRatio : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    Ratio = EnvironmentRatio();
  }

  void TearDown() override {
    SavePictureOfFailure(Picture, "ratio");
    Form1D.reset();
    Form2D.reset();
    TOptions::ReleaseInstance();
  }

  void Open2D() {
    Context = std::make_unique<TTestViewContext>(WriteDataFile(Dir, "view.dat", Tree, {Frame()}));
    Form2D = std::make_unique<TShow2DForm>(*Context);
    ASSERT_TRUE(ShowViewWindow(*Form2D, 500, 400));
    ASSERT_TRUE(WaitForFrames(*Form2D, 2));
    Picture = Form2D->DisplayPanel()->grabFramebuffer();
    Geometry = Form2D->RenderThread2D()->GetGeometry();
  }

  // The logical panel point of a data point.
  QPoint LogicalPoint(double x, double y) const {
    const QSize panel(Geometry.PanelWidth(), Geometry.PanelHeight());
    return DataPixel(Geometry, QImage(panel, QImage::Format_RGB32), x, y);
  }

  QPoint ToPixel(double x, double y) const { return DataPixel(Geometry, Picture, x, y); }

  double Ratio = 1.0;
  QTemporaryDir Dir;
  std::unique_ptr<TTestViewContext> Context;
  std::unique_ptr<TShow1DForm> Form1D;
  std::unique_ptr<TShow2DForm> Form2D;
  QImage Picture;
  TViewGeometry Geometry;
};

TEST_F(PixelRatio, TheViewsBufferHasTheDevicePixelsOfItsWindow) {
  Open2D();
  TOpenGLDisplayPanel &panel = *Form2D->DisplayPanel();
  ASSERT_DOUBLE_EQ(panel.PixelRatio(), Ratio) << "the environment's scale is the window's ratio";
  const QSize device(DeviceLength(panel.width(), Ratio), DeviceLength(panel.height(), Ratio));
  EXPECT_EQ(Picture.size(), device);
  EXPECT_EQ(ServerSize(*panel.NativeWindow()), device);
  // The fit stays in logical pixels.
  EXPECT_EQ(Geometry.PanelWidth(), 500);
  EXPECT_DOUBLE_EQ(Geometry.ViewLeft, -140.0 * 30 / 500);
}

TEST_F(PixelRatio, LabelsAreRasterisedAtTheDeviceSizeAndLinesAreWidthTimesRatio) {
  TOptions::Instance().Graphics2D.GraphicLineWidth = 2.0f;
  Open2D();
  // The scale label lies in the bottom margin, right of the bar's end tick.
  const QPoint barEnd = ToPixel(100.0, 0.0);
  const QRect label = InkBox(Picture,
                             QRect(QPoint(barEnd.x() + DeviceLength(3, Ratio), barEnd.y() + 2),
                                   QPoint(Picture.width() - 1, Picture.height() - 1)),
                             IsBlack);
  ASSERT_FALSE(label.isEmpty());
  EXPECT_NEAR(label.height(), ToolkitInk("100 um", 12 * Ratio).height(), 1.0);
  EXPECT_NEAR(label.height(), ToolkitInk("100 um", 12).height() * Ratio, 1.0);
  EXPECT_NEAR(label.width(), ToolkitInk("100 um", 12 * Ratio).width(), 1.0);

  // The rows of a column from one data height down to another.
  struct TCase {
    const char *What;
    double X, Top, Bottom;
    float Width;
  };
  for (const TCase &c : {TCase{"scale bar", 50.0, -0.5, Geometry.ViewBottom, 1.0f},
                         TCase{"dend", 25.0, 53.0, 47.0, 2.0f}}) {
    const QPoint top = ToPixel(c.X, c.Top);
    const int rows = std::min(ToPixel(c.X, c.Bottom).y(), Picture.height() - 1) - top.y();
    const int run =
        LongestRun(top, {0, 1}, rows, [&](QPoint p) { return Rgb(Picture.pixel(p)) != White; });
    EXPECT_EQ(run, static_cast<int>(DeviceLineWidth(c.Width, Ratio))) << c.What;
  }
}

TEST_F(PixelRatio, ThePaletteBarStaysAtItsLogicalPlaceAndWidth) {
  TOptions::Instance().Graphics2D.ShowPalette = true;
  Open2D();
  // Boxes 15 logical pixels wide up from the logical point (100, 100).
  const int left = DeviceLength(100, Ratio), right = DeviceLength(115, Ratio);
  const int row = DeviceLength(95, Ratio);
  const auto inked = [&](int x) { return Rgb(Picture.pixel(x, row)) != White; };
  EXPECT_FALSE(inked(left - 1));
  EXPECT_TRUE(inked(left + 1));
  EXPECT_TRUE(inked(right - 2));
  EXPECT_FALSE(inked(right + 1));
  EXPECT_NE(Rgb(Picture.pixel(left + 1, DeviceLength(99, Ratio))), White);
  EXPECT_EQ(Rgb(Picture.pixel(left + 1, DeviceLength(101, Ratio))), White);
}

TEST_F(PixelRatio, ClicksFromTheServerPickAtTheSameLogicalPoints) {
  Open2D();
  std::vector<std::string> messages;
  TScopedMessageBoxHandler handler([&](QWidget *, const QString &, const QString &text,
                                       QMessageBox::Icon, QMessageBox::StandardButtons) {
    messages.push_back(text.toStdString());
    return QMessageBox::Ok;
  });
  Form2D->RenderThread2D()->SetSelectPointMode(0);
  // Logical offsets down from the data point: a line one logical pixel wide is
  // found from the pixel below it, not from the one above, never from three
  // away.
  const std::vector<std::tuple<double, double, int, std::string>> cases{
      {5, 70, 0, "Point coordinates: soma(0)"},
      {25, 50, 0, "Point coordinates: dend(0)"},
      {75, 50, 0, "Point coordinates: dend(1)"},
      {120, 50, 0, "Point coordinates: a(0)"},
      {110, 40, 0, "Point coordinates: b(1)"},
      {85, 20, 0, "Point coordinates: axon2(1)"},
      {25, 50, 1, "Point coordinates: dend(0)"},
      {25, 50, -1, ""},
      {25, 50, 3, ""},
      {25, 50, -3, ""},
      {60, 30, 0, ""},
  };
  const QWindow &window = *Form2D->DisplayPanel()->NativeWindow();
  for (const auto &[x, y, offset, message] : cases) {
    messages.clear();
    const QPoint logical = LogicalPoint(x, y) + QPoint(0, offset);
    ServerClick(window, QPoint(DeviceLength(logical.x(), Ratio), DeviceLength(logical.y(), Ratio)));
    QTest::qWait(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.empty() ? "" : messages.back(), message)
        << "at " << x << ", " << y << " " << offset;
  }
}

TEST_F(PixelRatio, ASavedImageHasTheDevicePixels) {
  Open2D();
  TOpenGLDisplayPanel &panel = *Form2D->DisplayPanel();
  TScopedSaveFileHandler answer([&](QWidget *, const QString &, const QString &, const QString &) {
    return std::optional<QString>(Dir.filePath("view.png"));
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, {10, 10}, panel.mapToGlobal(QPoint(10, 10)));
  QCoreApplication::sendEvent(&panel, &event);
  auto *menu = Form2D->findChild<QMenu *>("PopupMenu");
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
  Form2D->findChild<QAction *>("SaveImageMenuItem")->trigger();
  menu->close();
  const QImage saved(Dir.filePath("view.png"));
  EXPECT_EQ(saved.size(),
            QSize(DeviceLength(panel.width(), Ratio), DeviceLength(panel.height(), Ratio)));
}

TEST_F(PixelRatio, TheAxesOfAGraphScaleTheirLinesAndLabels) {
  Context = std::make_unique<TTestViewContext>(
      WriteDataFile(Dir, "view.dat", {StraightSection("soma", -1, 100, 2)}, {{0.5, -20, 10}}));
  Form1D = std::make_unique<TShow1DForm>(*Context);
  Form1D->RenderThread1D()->SetAxisLineWidth(3.0f);
  ASSERT_TRUE(ShowViewWindow(*Form1D, 400, 300));
  ASSERT_TRUE(WaitForFrames(*Form1D, 2));
  Picture = Form1D->DisplayPanel()->grabFramebuffer();
  Geometry = Form1D->RenderThread1D()->GetGeometry();
  // The value axis at distance 0, its labels on its left; between two ticks.
  const QPoint axis = ToPixel(0.0, Form1D->RenderThread1D()->GetAxes().YStep / 2);
  const int reach = DeviceLength(6, Ratio);
  EXPECT_EQ(LongestRun(axis - QPoint(reach, 0), {1, 0}, 2 * reach,
                       [&](QPoint p) { return IsBlack(Picture.pixel(p)); }),
            static_cast<int>(DeviceLineWidth(3.0f, Ratio)));
  // Each label's rows of ink are as many as the toolkit's digits at the ratio.
  const int labelsRight = axis.x() - DeviceLength(8, Ratio);
  const int labelRows = LongestRun({0, 0}, {0, 1}, Picture.height(), [&](QPoint row) {
    return !InkBox(Picture, QRect(0, row.y(), labelsRight, 1), IsBlack).isEmpty();
  });
  EXPECT_NEAR(labelRows, ToolkitInk("0", 10 * Ratio).height(), 1.0);
}

TEST_F(PixelRatio, GlyphsOfAnotherRatioAreRasterisedAgainWhenTheWindowChangesScreen) {
  TPanelWindow window;
  TGlyphFont &font = window.Panel->AddGlyphFont("Arial", 10);
  ASSERT_TRUE(window.Show());
  ASSERT_TRUE(font.IsBuilt());
  EXPECT_EQ(font.PixelRatio(), Ratio);
  window.Renderer.Draw = [&] { font.Draw(10, 20, "H"); };
  const auto inkHeight = [&] {
    const QImage picture = window.Panel->grabFramebuffer();
    return InkBox(picture, picture.rect(), IsBlack).height();
  };
  const int height = inkHeight();
  EXPECT_NEAR(height, ToolkitInk("H", 10 * Ratio).height(), 1.0);

  // The glyphs a window brings from a screen of twice the density.
  ASSERT_TRUE(window.Panel->MakeContextCurrent());
  font.SetPixelRatio(2 * Ratio);
  font.Build();
  EXPECT_NEAR(inkHeight(), ToolkitInk("H", 20 * Ratio).height(), 1.0);

  int refits = 0;
  QObject::connect(window.Panel, &TOpenGLDisplayPanel::Resized, [&] { ++refits; });
  QEvent screenChange(QEvent::ScreenChangeInternal);
  QCoreApplication::sendEvent(window.Panel->NativeWindow(), &screenChange);
  EXPECT_EQ(font.PixelRatio(), Ratio);
  EXPECT_TRUE(font.IsBuilt());
  EXPECT_EQ(refits, 1) << "the margins follow the labels' new widths";
  EXPECT_EQ(inkHeight(), height);
}

} // namespace
