#include "ControlWindowDriver.h"
#include "SampleDataFile.h"

#include "control/DataControl.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show1D.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The X server offers no OpenGL: the 1D window can never draw a frame, so it
// must hold neither playback nor the steps.
TEST(PlaybackWithoutOpenGL, AViewWithoutContextHoldsNothing) {
  qputenv("QT_XCB_GL_INTEGRATION", "none");
  int argc = 1;
  char name[] = "playback_no_opengl";
  char *argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QStringList boxes;
  TScopedMessageBoxHandler handler([&](QWidget *, const QString &, const QString &text,
                                       QMessageBox::Icon, QMessageBox::StandardButtons) {
    boxes << text;
    return QMessageBox::Ok;
  });
  TOptions::Instance().ControlPanel.FramesDelay = 0;
  QTemporaryDir dir;
  const QString path = dir.filePath("run.dat");
  ASSERT_TRUE(WriteSampleDataFile(path.toStdString(), FrameTimes(0.0, 1.0, 5.0)));
  {
    const std::unique_ptr<TDataControlForm> form = OpenControlWindow(path, 0);
    PressButton(*form, "Show1DButton");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->Form1D()));
    QTest::qWait(100);
    EXPECT_FALSE(form->Form1D()->CanPaintNow());
    EXPECT_EQ(form->Form1D()->GetLastDrawnTime(), -1.0);

    PressButton(*form, "StepForwardBitBtn");
    EXPECT_EQ(form->CurrentTime(), 1.0);
    PressButton(*form, "StepBackBitBtn");
    EXPECT_EQ(form->CurrentTime(), 0.0);
    PressButton(*form, "PlayBitBtn");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->IsPlaying(); }, 5000));
    EXPECT_EQ(form->CurrentTime(), -1.0);
    EXPECT_EQ(form->findChild<QLineEdit *>("TimeCurrentEdit")->text(), "5.000");
  }
  TOptions::ReleaseInstance();
  EXPECT_EQ(boxes, QStringList{"Could not create a rendering context"});
}

} // namespace
