#include "ControlWindowDriver.h"
#include "SampleDataFile.h"

#include "control/DataControl.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show2D.h"
#include "views/Show2DThread.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// The sample: the soma (row 40) and one dendrite item, dend[0] (0..20 in 2
// segments) and dend[1] (20..50 in 3), in one row at 20.
class Control2DTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    TOptions::Instance().ControlPanel.FramesDelay = 0;
    ASSERT_TRUE(Dir.isValid());
    Path = Dir.filePath("run.dat");
    ASSERT_TRUE(WriteSampleDataFile(Path.toStdString(), FrameTimes(0.0, 1.0, 10.0)));
  }
  void TearDown() override { TOptions::ReleaseInstance(); }

  // Waits for the 2D window's first frame and clicks at data point (x, y).
  static void ClickAt(TShow2DForm &view, double x, double y) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    // A drawn frame: the panel's context exists and the projection fits its size.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.RenderThread2D()->GetDrawCount() >= 1; }));
    const TViewGeometry &g = view.RenderThread2D()->GetGeometry();
    const QWidget *panel = view.DisplayPanel();
    const double column = (x - g.ViewLeft) / (g.ViewRight - g.ViewLeft) * panel->width();
    const double row = (y - g.ViewBottom) / (g.ViewTop - g.ViewBottom) * panel->height();
    QTest::mouseClick(
        view.DisplayPanel(), Qt::LeftButton, {},
        QPoint(static_cast<int>(column), panel->height() - 1 - static_cast<int>(row)));
  }

  QTemporaryDir Dir;
  QString Path;
  QStringList Boxes;
  TScopedMessageBoxHandler Handler{LogMessageBoxesTo(Boxes)};
};

TEST_F(Control2DTest, TheButtonOpensOneWindowThatFollowsTheItemsAndLeavesItsBounds) {
  TOptions::Instance().Graphics2D = {{"Dendrogram", 30, 40, 450, 350}};
  auto form = OpenControlWindow(Path, 3);
  PressButton(*form, "Show2DButton");
  TShow2DForm *view = form->Form2D();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->objectName(), "Show2DForm3");
  EXPECT_EQ(view->windowTitle(), "Dendrogram");
  EXPECT_EQ(view->geometry(), QRect(30, 40, 450, 350));
  EXPECT_EQ(view->GetTotalHeight(), 40.0);

  auto *items = form->findChild<QListWidget *>("NeuronItemCheckListBox");
  items->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(view->RenderThread2D()->GetDataWindow().YMax, 20.0);
  items->setCurrentRow(1);
  QTest::keyClick(items, Qt::Key_Return);
  EXPECT_EQ(view->GetTotalHeight(), 40.0);

  view->close();
  PressButton(*form, "Show2DButton");
  EXPECT_EQ(form->Form2D(), view);
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(TopLevelCount("Show2DForm3"), 1);
  view->setGeometry(61, 62, 333, 222);
  view->close();
  QPointer<TShow2DForm> gone = view;
  form.reset();
  EXPECT_TRUE(gone.isNull());
  const TOptions::TGraphics2DSettings &bounds = TOptions::Instance().Graphics2D;
  EXPECT_EQ(QRect(bounds.Left, bounds.Top, bounds.Width, bounds.Height), QRect(61, 62, 333, 222));
}

TEST_F(Control2DTest, AddToFtAppendsToTheControlWindowsPoints) {
  TOptions::Instance().Graphics2D.SelectPointMode = 1;
  auto form = OpenControlWindow(Path, 1);
  PressButton(*form, "Show2DButton");
  ClickAt(*form->Form2D(), 35.0, 20.0);
  ASSERT_EQ(form->GetFtPoints().size(), 1u);
  const TSelectedPointInfo &point = *form->GetFtPoints().front();
  EXPECT_EQ((std::array{point.Item, point.SectionInItem, point.SegmentInSection}),
            (std::array{1, 1, 1}));
  EXPECT_EQ(point.Name, "dend[1](1)");
  EXPECT_EQ(Boxes, QStringList{"2D: Point dend[1](1) has been added to F(t)"});
}

TEST_F(Control2DTest, AFileThatDidNotLoadShowsAnEmptyDendrogram) {
  auto form = std::make_unique<TDataControlForm>();
  form->OpenFile(Dir.path());
  form->show();
  PressButton(*form, "Show2DButton");
  TShow2DForm *view = form->Form2D();
  EXPECT_EQ(view->GetTotalHeight(), 0.0);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
  QTest::mouseClick(view->DisplayPanel(), Qt::LeftButton, {},
                    view->DisplayPanel()->rect().center());
  EXPECT_EQ(view->GetSelectionResult(), (TSelectionResult{0, 0, 0}));
  // Only the window's word on the folder, no answer to the click.
  EXPECT_EQ(Boxes, QStringList{": Could not open " + Dir.path() + ": a folder, not a file."});
}

TEST_F(Control2DTest, PlaybackWaitsForThe2DWindow) {
  TOptions::Instance().Data.SleepPeriod = 30; // a view slower than the 1 ms timer
  auto form = OpenControlWindow(Path, 1);
  PressButton(*form, "Show2DButton");
  // A window not yet mapped holds nothing back: start once it shows the first frame.
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Form2D()->GetLastDrawnTime() == 0.0; }, 10000));
  std::vector<double> drawnWhenShown;
  QObject::connect(
      form->findChild<QLineEdit *>("TimeCurrentEdit"), &QLineEdit::textChanged,
      [&](const QString &) { drawnWhenShown.push_back(form->Form2D()->GetLastDrawnTime()); });
  PressButton(*form, "PlayBitBtn");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->IsPlaying(); }, 20000));
  ASSERT_EQ(drawnWhenShown.size(), 10u);
  for (size_t i = 0; i < drawnWhenShown.size(); ++i)
    EXPECT_EQ(drawnWhenShown[i], static_cast<double>(i)) << i;
}

// Opening, picking and closing a Control Window with its 2D window, with the
// thread running, hidden or never drawn, must neither hang nor leave anything.
TEST_F(Control2DTest, OpenPickAndCloseFiftyTimes) {
  for (int i = 0; i < 50; ++i) {
    TOptions::Instance().Graphics2D.SelectPointMode = i % 6;
    auto form = OpenControlWindow(Path, i + 1);
    PressButton(*form, "Show2DButton");
    ClickAt(*form->Form2D(), 15.0, 20.0);
    if (i % 3 == 1)
      form->Form2D()->close();
    if (i % 5 == 0)
      PressButton(*form, "PlayBitBtn");
    form.reset();
    EXPECT_EQ(TopLevelCount(QString("Show2DForm%1").arg(i + 1)), 0);
  }
  EXPECT_EQ(Boxes.size(), 50);
}

} // namespace
