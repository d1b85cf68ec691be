#include "ControlWindowDriver.h"
#include "SampleDataFile.h"
#include "X11TestSupport.h"

#include "control/DataControl.h"
#include "data/NeuronDataFile.h"
#include "render/OpenGLViewThread.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show1D.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class PlaybackTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    TOptions::Instance().ControlPanel.FramesDelay = 0;
    ASSERT_TRUE(Dir.isValid());
  }
  void TearDown() override {
    Form.reset();
    TOptions::ReleaseInstance();
  }

  void Open(const std::vector<double> &times) {
    const QString path = Dir.filePath("run.dat");
    ASSERT_TRUE(WriteSampleDataFile(path.toStdString(), times));
    Form = OpenControlWindow(path, 0);
    Form->setWindowTitle("Data Control - run.dat");
    // Every time shown, with the 1D window's last drawn time at that moment.
    QObject::connect(Edit("TimeCurrentEdit"), &QLineEdit::textChanged, [this](const QString &t) {
      Shown.push_back(t);
      DrawnWhenShown.push_back(Form->Form1D() ? Form->Form1D()->GetLastDrawnTime() : -2.0);
    });
  }

  QLineEdit *Edit(const char *name) { return Form->findChild<QLineEdit *>(name); }
  QPushButton *Button(const char *name) { return Form->findChild<QPushButton *>(name); }
  // Plays until playback stops by itself.
  void PlayToTheEnd(int timeout = 20000) {
    PressButton(*Form, "PlayBitBtn");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->IsPlaying(); }, timeout));
  }
  void ExpectLocked(bool locked) {
    for (const char *name : {"VariableMinEdit", "VariableMaxEdit", "TimeMinEdit", "TimeCurrentEdit",
                             "TimeMaxEdit", "FramesDelayEdit", "SkipFramesEdit"})
      EXPECT_EQ(Edit(name)->isReadOnly(), locked) << name;
    for (const char *name :
         {"Show1DButton", "Show2DButton", "Show3DButton", "ShowFtButton", "ShowInfoButton",
          "FramesDelayTrackBar", "SkipFramesUpDown", "PlayBitBtn", "StepForwardBitBtn",
          "StepBackBitBtn", "LoadPaletteBitBtn", "NeuronItemCheckListBox"})
      EXPECT_EQ(Form->findChild<QWidget *>(name)->isEnabled(), !locked) << name;
    EXPECT_TRUE(Button("PauseBitBtn")->isEnabled());
    EXPECT_TRUE(Button("StopBitBtn")->isEnabled());
  }

  QTemporaryDir Dir;
  std::unique_ptr<TDataControlForm> Form;
  QStringList Shown;
  std::vector<double> DrawnWhenShown;
  QStringList Boxes;
  TScopedMessageBoxHandler Handler{LogMessageBoxesTo(Boxes)};
};

TEST_F(PlaybackTest, PlaysEveryFrameWhileTheViewDrawsThemThenStops) {
  TOptions::Instance().Data.SleepPeriod = 30; // a view slower than the 1 ms timer
  Open(FrameTimes(0.0, 1.0, 10.0));
  PressButton(*Form, "Show1DButton");
  // A window not yet mapped holds nothing back: start once it shows the first frame.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Form1D()->GetLastDrawnTime() == 0.0; }));
  PressButton(*Form, "PlayBitBtn");
  EXPECT_EQ(Form->findChild<QTimer *>("Timer")->interval(), 1);
  ExpectLocked(true);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->IsPlaying(); }, 20000));
  EXPECT_EQ(Shown, QStringList({"1.000", "2.000", "3.000", "4.000", "5.000", "6.000", "7.000",
                                "8.000", "9.000", "10.000"}));
  // Each frame was drawn before the next one was read.
  for (size_t i = 0; i < DrawnWhenShown.size(); ++i)
    EXPECT_EQ(DrawnWhenShown[i], static_cast<double>(i)) << i;
  EXPECT_EQ(Form->CurrentTime(), -1.0);
  ExpectLocked(false);

  Shown.clear();
  PlayToTheEnd();
  ASSERT_GE(Shown.size(), 2);
  EXPECT_EQ(Shown.front(), "0.000");
  EXPECT_EQ(Shown.back(), "10.000");
  EXPECT_TRUE(Boxes.isEmpty());
}

TEST_F(PlaybackTest, AHiddenViewHoldsNothing) {
  TOptions::Instance().Data.SleepPeriod = 30;
  Open(FrameTimes(0.0, 1.0, 10.0));
  PressButton(*Form, "Show1DButton");
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->Form1D()->GetLastDrawnTime() == 0.0; }));
  Form->Form1D()->close();
  PlayToTheEnd();
  EXPECT_EQ(Shown.size(), 10);
  // The suspended view never drew past the first frame.
  EXPECT_EQ(Form->Form1D()->GetLastDrawnTime(), 0.0);
}

TEST_F(PlaybackTest, AViewOffTheScreenHoldsNothingAndTakesPartAgainWhenBack) {
  Open(FrameTimes(0.0, 1.0, 10.0));
  PressButton(*Form, "Show1DButton");
  TShow1DForm *view = Form->Form1D();
  ASSERT_TRUE(QTest::qWaitFor([view] { return view->GetLastDrawnTime() == 0.0; }));
  // The view draws no more frames of its own; only exposing it paints it.
  view->RenderThread()->Suspend();
  QTest::qWait(100);
  PressButton(*Form, "StepForwardBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 1.0);
  PressButton(*Form, "StepForwardBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 1.0) << "a view on screen holds the frame until drawn";

  SetMapped(*view, false);
  EXPECT_TRUE(view->isVisible());
  EXPECT_FALSE(view->CanPaintNow());
  PressButton(*Form, "StepForwardBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 2.0);
  PressButton(*Form, "StepBackBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 1.0);
  Shown.clear();
  PlayToTheEnd();
  EXPECT_EQ(Shown.size(), 9);
  EXPECT_EQ(Form->CurrentTime(), -1.0);

  // Back on screen it holds the frame again until it has drawn it.
  SetMapped(*view, true);
  EXPECT_TRUE(view->CanPaintNow());
  EnterText(*Form, "TimeCurrentEdit", "5");
  PressButton(*Form, "StepForwardBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 5.0);
  view->RenderThread()->Resume();
  ASSERT_TRUE(QTest::qWaitFor([view] { return view->GetLastDrawnTime() == 5.0; }));
  PressButton(*Form, "StepForwardBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 6.0);
}

TEST_F(PlaybackTest, SkipFramesStepsOverTheScaleEndOrStopsAtTheLastFrame) {
  Open(FrameTimes(0.0, 1.0, 20.0));
  EnterText(*Form, "TimeMaxEdit", "10");
  EnterText(*Form, "SkipFramesEdit", "3");
  EXPECT_EQ(Form->SkipFrames(), 3u);
  Shown.clear();
  PlayToTheEnd();
  EXPECT_EQ(Shown, QStringList({"4.000", "8.000", "12.000"}));
  EXPECT_EQ(Form->CurrentTime(), -1.0);

  Open(FrameTimes(0.0, 1.0, 10.0));
  EnterText(*Form, "SkipFramesEdit", "3");
  Shown.clear();
  PlayToTheEnd();
  EXPECT_EQ(Shown, QStringList({"4.000", "8.000", "10.000"}));
  EXPECT_EQ(Form->CurrentTime(), -1.0);
}

TEST_F(PlaybackTest, StepsPauseAndStop) {
  TOptions::Instance().ControlPanel.FramesDelay = 1000;
  Open(FrameTimes(0.0, 1.0, 10.0));
  EnterText(*Form, "SkipFramesEdit", "1");
  EnterText(*Form, "TimeMinEdit", "2");
  PressButton(*Form, "PlayBitBtn");
  PressButton(*Form, "PauseBitBtn");
  EXPECT_FALSE(Form->IsPlaying());
  ExpectLocked(false);
  EXPECT_EQ(Form->CurrentTime(), 2.0);
  PressButton(*Form, "StepForwardBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 4.0);
  EXPECT_EQ(Edit("TimeCurrentEdit")->text(), "4.000");
  PressButton(*Form, "StepBackBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 2.0);
  // At the start of the time scale a step back does nothing.
  PressButton(*Form, "StepBackBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 2.0);
  EXPECT_EQ(Edit("TimeCurrentEdit")->text(), "2.000");

  EnterText(*Form, "TimeCurrentEdit", "7");
  PressButton(*Form, "StopBitBtn");
  EXPECT_EQ(Form->CurrentTime(), -1.0);
  ExpectLocked(false);
  // The first step after Stop goes to the start of the time scale.
  PressButton(*Form, "StepForwardBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 2.0);
  PressButton(*Form, "StopBitBtn");
  PressButton(*Form, "StepBackBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 2.0);
  // Start after Stop begins at the start as well.
  EnterText(*Form, "TimeCurrentEdit", "7");
  PressButton(*Form, "StopBitBtn");
  PressButton(*Form, "PlayBitBtn");
  EXPECT_EQ(Form->CurrentTime(), 2.0);
  PressButton(*Form, "StopBitBtn");

  // Other tags leave the controls as they are.
  PressButton(*Form, "PlayBitBtn");
  Form->UpdateControls(7);
  ExpectLocked(true);
  PressButton(*Form, "StopBitBtn");
}

TEST_F(PlaybackTest, SkipFramesAndFramesDelayBoxes) {
  Open(FrameTimes(0.0, 1.0, 4.0));
  auto *upDown = Form->findChild<QSpinBox *>("SkipFramesUpDown");
  auto *trackBar = Form->findChild<QSlider *>("FramesDelayTrackBar");

  EnterText(*Form, "SkipFramesEdit", "-1");
  EXPECT_EQ(Edit("SkipFramesEdit")->text(), "100");
  EXPECT_EQ(Form->SkipFrames(), 100u);
  EnterText(*Form, "SkipFramesEdit", " 7");
  EXPECT_EQ(Edit("SkipFramesEdit")->text(), "7");
  EXPECT_EQ(upDown->value(), 7);
  upDown->stepUp();
  EXPECT_EQ(Edit("SkipFramesEdit")->text(), "8");
  EXPECT_EQ(Form->SkipFrames(), 8u);

  Form->activateWindow();
  Edit("SkipFramesEdit")->setFocus();
  EnterText(*Form, "SkipFramesEdit", "x");
  ASSERT_EQ(Boxes.size(), 1);
  EXPECT_EQ(Boxes[0], "Data Control - run.dat: 'x' is not a valid integer value");
  EXPECT_EQ(Form->SkipFrames(), 8u);
  EXPECT_EQ(Edit("SkipFramesEdit")->text(), "x");

  EnterText(*Form, "FramesDelayEdit", "5000");
  EXPECT_EQ(Edit("FramesDelayEdit")->text(), "1000");
  EXPECT_EQ(Form->FramesDelay(), 1000u);
  EXPECT_EQ(trackBar->value(), 1000);
  trackBar->setValue(40);
  EXPECT_EQ(Edit("FramesDelayEdit")->text(), "40");
  EXPECT_EQ(Form->FramesDelay(), 40u);
  EnterText(*Form, "FramesDelayEdit", "1.5");
  ASSERT_EQ(Boxes.size(), 2);
  EXPECT_EQ(Boxes[1], "Data Control - run.dat: '1.5' is not a valid integer value");
  EXPECT_EQ(Form->FramesDelay(), 40u);

  PressButton(*Form, "PlayBitBtn");
  EXPECT_EQ(Form->findChild<QTimer *>("Timer")->interval(), 40);
  PressButton(*Form, "StopBitBtn");
  EnterText(*Form, "FramesDelayEdit", "0");
  PressButton(*Form, "PlayBitBtn");
  EXPECT_EQ(Form->findChild<QTimer *>("Timer")->interval(), 1);
  PressButton(*Form, "StopBitBtn");

  Form.reset();
  EXPECT_EQ(TOptions::Instance().ControlPanel.FramesDelay, 0u);
}

TEST_F(PlaybackTest, TooFewDecimalsInTheTimeFormatDoNotStallPlayback) {
  // Frames every 0.05 shown with one decimal never match a drawn frame time.
  TOptions::Instance().ControlPanel.TimeRangeFormat = "%0.1f";
  Open(FrameTimes(0.0, 0.05, 1.0));
  PressButton(*Form, "Show1DButton");
  PlayToTheEnd();
  EXPECT_EQ(Form->CurrentTime(), -1.0);
  EXPECT_GE(Shown.size(), 10);
  // Every frame shown was drawn before the next was read.
  EXPECT_EQ(DrawnWhenShown.front(), 0.0);
}

TEST_F(PlaybackTest, AnEmptyModelStopsAtOnce) {
  Form = std::make_unique<TDataControlForm>();
  Form->OpenFile(Dir.path());
  PressButton(*Form, "PlayBitBtn");
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->IsPlaying(); }, 2000));
  PressButton(*Form, "StepForwardBitBtn");
  PressButton(*Form, "StepBackBitBtn");
  EXPECT_EQ(Form->CurrentTime(), -1.0);
}

} // namespace
