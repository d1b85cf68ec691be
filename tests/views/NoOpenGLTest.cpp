#include "ViewTestData.h"

#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "views/Show1D.h"
#include "views/Show1DThread.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The X server offers no OpenGL to this process: the 1D window says so once,
// shows its plain white area, and still starts and stops its thread.
TEST(NoOpenGL, The1DWindowReportsTheContextAndGoesOn) {
  qputenv("QT_XCB_GL_INTEGRATION", "none");
  int argc = 1;
  char name[] = "no_opengl";
  char *argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationName("Dendrovia");

  std::vector<std::pair<QString, QString>> boxes;
  TScopedMessageBoxHandler handler([&](QWidget *, const QString &caption, const QString &text,
                                       QMessageBox::Icon, QMessageBox::StandardButtons) {
    boxes.emplace_back(caption, text);
    return QMessageBox::Ok;
  });

  QTemporaryDir dir;
  TTestViewContext context(
      WriteDataFile(dir, "one.dat", {StraightSection("soma", -1, 10, 1)}, {{0.0, -10.0}}));
  {
    TShow1DForm form(context);
    form.resize(300, 200);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(100);
    EXPECT_NE(form.ClientArea(), static_cast<QWidget *>(form.DisplayPanel()));
    EXPECT_EQ(form.PanelColor(), QColor(Qt::white));
    EXPECT_FALSE(form.RenderThread1D()->IsContextReady());
    EXPECT_EQ(form.GetLastDrawnTime(), -1.0);
    EXPECT_GT(form.RenderThread1D()->GetPassCount(), 0u);
    form.StopRenderThread();
    EXPECT_EQ(form.RenderThread(), nullptr);
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first.toStdString(), "Dendrovia");
  EXPECT_EQ(boxes[0].second.toStdString(), "Could not create a rendering context");
}

// A panel shown where no context can be had draws nothing, reads back
// nothing, and reports the rendering context once.
TEST(NoOpenGL, APanelWithoutAContextReportsItOnce) {
  qputenv("QT_XCB_GL_INTEGRATION", "none");
  int argc = 1;
  char name[] = "no_opengl";
  char *argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("Dendrovia");
  std::vector<QString> boxes;
  TScopedMessageBoxHandler handler([&](QWidget *, const QString &, const QString &text,
                                       QMessageBox::Icon, QMessageBox::StandardButtons) {
    boxes.push_back(text);
    return QMessageBox::Ok;
  });

  QWidget window;
  auto *panel = new TOpenGLDisplayPanel(&window);
  window.resize(200, 100);
  panel->resize(200, 100);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel->IsExposed(); }, 5000));
  EXPECT_FALSE(panel->PaintNow());
  EXPECT_FALSE(panel->MakeContextCurrent());
  EXPECT_TRUE(panel->grabFramebuffer().isNull());
  EXPECT_EQ(panel->CheckContext(), TContextFailure::RenderingContext);
  EXPECT_EQ(panel->CheckContext(), TContextFailure::RenderingContext);
  QTest::qWait(50);
  EXPECT_EQ(boxes, std::vector<QString>{"Could not create a rendering context"});
}

} // namespace
