#include "SampleDataFile.h"

#include "control/DataControl.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/ShowFt.h"
#include "views/ShowFtThread.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A Control Window on frames 0, 1, ..., 10 whose segment k has the value
// time + k: the soma is segment 0 ("0,0,0"), the dendrite's segments are 1 to
// 5 ("1,0,0" to "1,1,2").
class ControlFtTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    TOptions::Instance().ControlPanel.FramesDelay = 0;
    ASSERT_TRUE(Dir.isValid());
    Path = Dir.filePath("run.dat");
    ASSERT_TRUE(WriteSampleDataFile(Path.toStdString(), FrameTimes(0.0, 1.0, 10.0)));
  }
  void TearDown() override {
    Form.reset();
    TOptions::ReleaseInstance();
  }

  void Open(int number = 1) {
    Form = std::make_unique<TDataControlForm>();
    Form->SetWindowNumber(number);
    Form->OpenFile(Path);
    Form->show();
  }

  void Press(const char *button) {
    QTest::mouseClick(Form->findChild<QPushButton *>(button), Qt::LeftButton);
  }

  void Enter(const char *box, const QString &text) {
    QLineEdit *edit = Form->findChild<QLineEdit *>(box);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }

  QMenu *ListOfPoints() const { return Form->FormFt()->findChild<QMenu *>("ListOfPointsMenu"); }

  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (QAction *entry : ListOfPoints()->actions())
      captions.push_back(entry->text().toStdString());
    return captions;
  }

  std::vector<double> Times(size_t point) const {
    std::vector<double> times;
    for (const TPointSample &sample : Form->GetFtPoints()[point]->Samples)
      times.push_back(sample.Time);
    return times;
  }

  // Plays from the current state until playback stops by itself.
  void PlayToTheEnd() {
    Press("PlayBitBtn");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsPlaying(); }, 20000));
  }

  QTemporaryDir Dir;
  QString Path;
  std::unique_ptr<TDataControlForm> Form;
  std::vector<QString> Messages;
  TScopedMessageBoxHandler Handler{[this](QWidget *, const QString &, const QString &text,
                                          QMessageBox::Icon, QMessageBox::StandardButtons) {
    Messages.push_back(text);
    return QMessageBox::Ok;
  }};
};

TEST_F(ControlFtTest, TheWindowListsThePointsAddedBeforeAndAfterItWasOpened) {
  TOptions::Instance().GraphicsFt = {{"Ft", 35, 45, 420, 260}};
  Open(3);
  Form->AddSelectedPoint("0,0,0", "soma(0)");
  Form->AddSelectedPoint("1, 0, 1", "dend[0](1)");
  Form->AddSelectedPoint("1,1,2", "dend[1](2)");
  Press("ShowFtButton");
  TShowFtForm *view = Form->FormFt();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->objectName(), "ShowFtForm3");
  EXPECT_EQ(view->pos(), QPoint(35, 45));
  EXPECT_EQ(view->size(), QSize(420, 260));
  EXPECT_EQ(view->windowTitle(), "Ft");
  EXPECT_EQ(Captions(), (std::vector<std::string>{" soma(0) ", " dend[0](1) ", " dend[1](2) "}));

  Form->AddSelectedPoint("1,0,0", "dend[0](0)");
  Form->AddSelectedPoint("1,x,0", "bad");
  EXPECT_EQ(Messages, (std::vector<QString>{"'x' is not a valid integer value"}));
  EXPECT_EQ(Captions().size(), 4u);
  EXPECT_EQ(Captions().back(), " dend[0](0) ");

  view->close();
  Press("ShowFtButton");
  EXPECT_EQ(Form->FormFt(), view);
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(Captions().size(), 4u);

  view->move(51, 52);
  view->resize(301, 202);
  QPointer<TShowFtForm> gone = view;
  Form.reset();
  EXPECT_TRUE(gone.isNull());
  const TOptions::TGraphicsFtSettings &bounds = TOptions::Instance().GraphicsFt;
  EXPECT_EQ(QRect(bounds.Left, bounds.Top, bounds.Width, bounds.Height), QRect(51, 52, 301, 202));
}

TEST_F(ControlFtTest, PlaybackWaitsForEveryFrameAndStartingAfterStopClearsTheCurves) {
  Open();
  Form->AddSelectedPoint("0,0,0", "soma(0)");
  Form->AddSelectedPoint("1,1,2", "dend[1](2)");
  Press("ShowFtButton");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form->FormFt()));
  Form->GetFtPoints()[1]->Color = 0x00ff00u;
  const std::vector<double> everyFrame{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  PlayToTheEnd();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->FormFt()->GetLastDrawnTime() == 10.0; }));
  EXPECT_EQ(Times(0), everyFrame);
  EXPECT_EQ(Times(1), everyFrame);
  EXPECT_EQ(Form->GetFtPoints()[1]->Samples[4].Value, 4.0 + 5.0);

  // Start again after the stop: the curves start over, the points stay.
  Press("PlayBitBtn");
  EXPECT_LE(Form->GetFtPoints()[0]->Samples.size(), 1u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsPlaying(); }, 20000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->FormFt()->GetLastDrawnTime() == 10.0; }));
  EXPECT_EQ(Times(0), everyFrame);
  EXPECT_EQ(Form->GetFtPoints().size(), 2u);
  EXPECT_EQ(Form->GetFtPoints()[1]->Color, 0x00ff00u);

  // Stepping after the stop goes back to the start: the curves end there; a
  // step back trims them again.
  const std::pair<const char *, double> steps[] = {{"StepForwardBitBtn", 0},
                                                   {"StepForwardBitBtn", 1},
                                                   {"StepForwardBitBtn", 2},
                                                   {"StepBackBitBtn", 1}};
  for (const auto &[button, time] : steps) {
    Press(button);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->FormFt()->GetLastDrawnTime() == time; }));
  }
  EXPECT_EQ(Times(0), (std::vector<double>{0, 1}));
}

TEST_F(ControlFtTest, ScaleEditsReachTheWindow) {
  Open();
  Press("ShowFtButton");
  TShowFtForm *view = Form->FormFt();
  Enter("TimeMaxEdit", "8");
  Enter("TimeMinEdit", "2");
  Enter("VariableMinEdit", "-5");
  Enter("VariableMaxEdit", "12.3456");
  EXPECT_EQ(view->GetTimeMin(), 2.0);
  EXPECT_EQ(view->GetTimeMax(), 8.0);
  EXPECT_EQ(view->GetValueMin(), -5.0);
  EXPECT_EQ(view->GetValueMax(), 12.346);
  const TDataWindow window = view->RenderThreadFt()->GetDataWindow();
  EXPECT_EQ(window.XMin, 2.0);
  EXPECT_EQ(window.XMax, 8.0);
  EXPECT_EQ(window.YMax, 12.346);
  EXPECT_TRUE(Messages.empty());
}

// Points added and deleted while playing, and the Control Window destroyed
// while playing, must neither hang nor touch freed memory.
TEST_F(ControlFtTest, PointsComeAndGoWhilePlayingFiftyTimes) {
  for (int i = 0; i < 50; ++i) {
    Open(i + 1);
    Form->AddSelectedPoint("0,0,0", "soma(0)");
    Press("ShowFtButton");
    Press("PlayBitBtn");
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
