#include "ControlWindowDriver.h"
#include "SampleDataFile.h"

#include "control/DataControl.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/ShowFt.h"
#include "views/ShowFtThread.h"

#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A Control Window on frames 0, 1, ..., 10 whose segment k has the value
// time + k: the soma is segment 0 ("0,0,0"), the dendrite's are 1 to 5.
class ControlFtTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    TOptions::Instance().ControlPanel.FramesDelay = 0;
    ASSERT_TRUE(WriteSampleDataFile(Path.toStdString(), FrameTimes(0.0, 1.0, 10.0)));
  }
  void TearDown() override {
    Form.reset();
    TOptions::ReleaseInstance();
  }

  void Open(int number = 1) { Form = OpenControlWindow(Path, number); }
  QMenu *ListOfPoints() const { return Form->FormFt()->findChild<QMenu *>("ListOfPointsMenu"); }
  std::vector<double> Times(size_t point) const {
    std::vector<double> times;
    for (const TPointSample &sample : Form->GetFtPoints()[point]->Samples)
      times.push_back(sample.Time);
    return times;
  }

  QTemporaryDir Dir;
  QString Path = Dir.filePath("run.dat");
  std::unique_ptr<TDataControlForm> Form;
  std::vector<QString> Messages;
  TScopedMessageBoxHandler Handler{[this](QWidget *, const QString &, const QString &text,
                                          QMessageBox::Icon, QMessageBox::StandardButtons) {
    Messages.push_back(text);
    return QMessageBox::Ok;
  }};
};

TEST_F(ControlFtTest, TheWindowTakesThePointsTheScalesAndItsBounds) {
  TOptions::Instance().GraphicsFt = {{"Ft", 35, 45, 420, 260}};
  Open(3);
  Form->AddSelectedPoint("0,0,0", "soma(0)");
  Form->AddSelectedPoint("1, 0, 1", "dend[0](1)");
  PressButton(*Form, "ShowFtButton");
  TShowFtForm *view = Form->FormFt();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->objectName(), "ShowFtForm3");
  EXPECT_EQ(view->geometry().topLeft(), QPoint(35, 45));
  EXPECT_EQ(view->size(), QSize(420, 260));
  Form->AddSelectedPoint("1,1,2", "dend[1](2)");
  Form->AddSelectedPoint("1,x,0", "bad");
  EXPECT_EQ(Messages, (std::vector<QString>{"'x' is not a valid integer value"}));
  ASSERT_EQ(ListOfPoints()->actions().size(), 3);
  EXPECT_EQ(ListOfPoints()->actions().at(2)->text(), " dend[1](2) ");

  EnterText(*Form, "TimeMaxEdit", "8");
  EnterText(*Form, "TimeMinEdit", "2");
  EnterText(*Form, "VariableMaxEdit", "12.3456");
  const TDataWindow window = view->RenderThreadFt()->GetDataWindow();
  EXPECT_EQ(std::vector<double>({window.XMin, window.XMax, window.YMax}),
            std::vector<double>({2.0, 8.0, 12.346}));

  view->close();
  PressButton(*Form, "ShowFtButton");
  EXPECT_EQ(Form->FormFt(), view);
  EXPECT_TRUE(view->isVisible());
  view->move(51, 52);
  QPointer<TShowFtForm> gone = view;
  Form.reset();
  EXPECT_TRUE(gone.isNull());
  EXPECT_EQ(TOptions::Instance().GraphicsFt.Left, 51);
}

TEST_F(ControlFtTest, PlaybackWaitsForEveryFrameAndStartingAfterStopClearsTheCurves) {
  Open();
  Form->AddSelectedPoint("0,0,0", "soma(0)");
  Form->AddSelectedPoint("1,1,2", "dend[1](2)");
  PressButton(*Form, "ShowFtButton");
  Form->GetFtPoints()[1]->Color = 0x00ff00u;
  // A window not yet mapped holds nothing back: start once it shows the first frame.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->FormFt()->GetLastDrawnTime() == 0.0; }));
  const std::vector<double> everyFrame{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  for (int run = 0; run < 2; ++run) {
    PressButton(*Form, "PlayBitBtn");
    EXPECT_LE(Times(0).size(), 1u) << "run " << run;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsPlaying(); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->FormFt()->GetLastDrawnTime() == 10.0; }));
    EXPECT_EQ(Times(0), everyFrame);
    EXPECT_EQ(Times(1), everyFrame);
  }
  EXPECT_EQ(Form->GetFtPoints()[1]->Samples[4].Value, 4.0 + 5.0);
  EXPECT_EQ(Form->GetFtPoints()[1]->Color, 0x00ff00u);
}

// Points added and deleted while playing, and the Control Window destroyed
// while playing, must neither hang nor touch freed memory.
TEST_F(ControlFtTest, PointsComeAndGoWhilePlayingFiftyTimes) {
  for (int i = 0; i < 50; ++i) {
    Open(i + 1);
    Form->AddSelectedPoint("0,0,0", "soma(0)");
    PressButton(*Form, "ShowFtButton");
    PressButton(*Form, "PlayBitBtn");
    Form->AddSelectedPoint("1,0,1", "dend[0](1)");
    QTest::qWait(i % 4);
    Form->AddSelectedPoint("1,1,2", "dend[1](2)");
    ListOfPoints()->actions().at(i % 3)->menu<QMenu *>()->actions().at(1)->trigger();
    if (i % 5 == 0)
      Form->FormFt()->findChild<QAction *>("DeleteAllPointsMenuItem")->trigger();
    if (i % 7 == 0)
      Form->FormFt()->close();
    QTest::qWait(i % 3);
    Form.reset();
  }
  EXPECT_TRUE(Messages.empty());
}

} // namespace
