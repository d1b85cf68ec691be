#include "ControlWindowDriver.h"
#include "SampleDataFile.h"

#include "control/DataControl.h"
#include "data/NeuronDataFile.h"
#include "render/OpenGLViewThread.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show3D.h"
#include "views/Show3DThread.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The Control Window's side of the 3D window: its button, its bounds and
// playback pacing.
class Control3DViewTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    TOptions::Instance().ControlPanel.FramesDelay = 0;
    ASSERT_TRUE(Dir.isValid());
    const QString path = Dir.filePath("run.dat");
    ASSERT_TRUE(WriteSampleDataFile(path.toStdString(), FrameTimes(0.0, 1.0, 10.0)));
    Form = OpenControlWindow(path, 3);
  }
  void TearDown() override {
    Form.reset();
    TOptions::ReleaseInstance();
  }

  QTemporaryDir Dir;
  std::unique_ptr<TDataControlForm> Form;
  TScopedMessageBoxHandler Handler{FailOnMessageBox};
};

TEST_F(Control3DViewTest, TheButtonOpensOneWindowAtItsBoundsAndDestructionStoresThem) {
  TOptions::Instance().Graphics3D.Left = 30;
  TOptions::Instance().Graphics3D.Top = 40;
  TOptions::Instance().Graphics3D.Width = 350;
  TOptions::Instance().Graphics3D.Height = 250;
  PressButton(*Form, "Show3DButton");
  TShow3DForm *view = Form->Form3D();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->objectName(), "Show3DForm3");
  EXPECT_EQ(view->pos(), QPoint(30, 40));
  EXPECT_EQ(view->size(), QSize(350, 250));
  EXPECT_TRUE(view->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->GetLastDrawnTime() == 0.0; }));

  view->close();
  PressButton(*Form, "Show3DButton");
  EXPECT_EQ(Form->Form3D(), view);
  EXPECT_TRUE(view->isVisible());

  view->move(61, 62);
  view->resize(333, 222);
  view->close();
  QPointer<TShow3DForm> gone = view;
  Form.reset();
  EXPECT_TRUE(gone.isNull());
  EXPECT_EQ(TOptions::Instance().Graphics3D.Left, 61);
  EXPECT_EQ(TOptions::Instance().Graphics3D.Top, 62);
  EXPECT_EQ(TOptions::Instance().Graphics3D.Width, 333);
  EXPECT_EQ(TOptions::Instance().Graphics3D.Height, 222);
}

TEST_F(Control3DViewTest, PlaybackWaitsForTheVisible3DWindow) {
  PressButton(*Form, "Show3DButton");
  TShow3DForm *view = Form->Form3D();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->GetLastDrawnTime() == 0.0; }));
  // A shown window whose thread does not draw holds playback at its frame.
  view->RenderThread()->Suspend();
  PressButton(*Form, "PlayBitBtn");
  QTest::qWait(100);
  const double held = Form->Data().GetCurrentFrame()[0];
  EXPECT_LE(held, 2.0) << "a pass under way when suspended may still draw";
  QTest::qWait(200);
  EXPECT_EQ(Form->Data().GetCurrentFrame()[0], held);
  EXPECT_TRUE(Form->IsPlaying());
  view->RenderThread()->Resume();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsPlaying(); }, 20000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return view->GetLastDrawnTime() == 10.0; }));
}

} // namespace
