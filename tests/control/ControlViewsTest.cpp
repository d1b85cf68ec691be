#include "ControlWindowDriver.h"
#include "SampleDataFile.h"
#include "X11TestSupport.h"

#include "control/DataControl.h"
#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show1D.h"
#include "views/Show2D.h"
#include "views/Show3D.h"
#include "views/ShowFt.h"
#include "views/ShowInfo.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <set>

namespace {

class ControlViewsTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    ASSERT_TRUE(Dir.isValid());
    Path = Dir.filePath("run.dat");
    ASSERT_TRUE(WriteSampleDataFile(Path.toStdString(), FrameTimes(0.0, 1.0, 10.0)));
  }
  void TearDown() override { TOptions::ReleaseInstance(); }

  QTemporaryDir Dir;
  QString Path;
  TScopedMessageBoxHandler Handler{FailOnMessageBox};
};

TEST_F(ControlViewsTest, OneButtonOneWindowNamedAfterTheControlWindow) {
  TOptions::Instance().Graphics1D = {{"1D", 30, 40, 350, 250}};
  auto first = OpenControlWindow(Path, 1);
  auto second = OpenControlWindow(Path, 2);
  PressButton(*first, "Show1DButton");
  PressButton(*second, "Show1DButton");
  ASSERT_NE(first->Form1D(), nullptr);
  ASSERT_NE(second->Form1D(), nullptr);
  EXPECT_EQ(first->Form1D()->objectName(), "Show1DForm1");
  EXPECT_EQ(second->Form1D()->objectName(), "Show1DForm2");
  EXPECT_EQ(first->Form1D()->pos(), QPoint(30, 40));
  EXPECT_EQ(first->Form1D()->size(), QSize(350, 250));
  EXPECT_TRUE(first->Form1D()->isVisible());

  // Pressing again brings back the same window, also after the user closed it.
  TShow1DForm *view = first->Form1D();
  PressButton(*first, "Show1DButton");
  view->close();
  EXPECT_FALSE(view->isVisible());
  PressButton(*first, "Show1DButton");
  EXPECT_EQ(first->Form1D(), view);
  EXPECT_TRUE(view->isVisible());
  EXPECT_EQ(TopLevelCount("Show1DForm1"), 1);

  PressButton(*first, "ShowInfoButton");
  EXPECT_EQ(first->FormInfo()->objectName(), "ShowInfoForm1");

  first.reset();
  EXPECT_EQ(TopLevelCount("Show1DForm1"), 0);
  EXPECT_EQ(TopLevelCount("ShowInfoForm1"), 0);
  EXPECT_EQ(TopLevelCount("Show1DForm2"), 1);
}

TEST_F(ControlViewsTest, DestructionWritesTheBoundsOfHiddenWindowsToo) {
  auto form = OpenControlWindow(Path, 1);
  PressButton(*form, "Show1DButton");
  PressButton(*form, "ShowInfoButton");
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->Form1D()->GetLastDrawnTime() == 0.0; }));
  form->Form1D()->move(61, 62);
  form->Form1D()->resize(333, 222);
  form->Form1D()->close();
  form->FormInfo()->move(71, 72);
  form->FormInfo()->resize(444, 311);
  form->FormInfo()->close();
  QPointer<TShow1DForm> view = form->Form1D();
  form.reset();
  EXPECT_TRUE(view.isNull());
  const TOptions &settings = TOptions::Instance();
  EXPECT_EQ(settings.Graphics1D.Left, 61);
  EXPECT_EQ(settings.Graphics1D.Top, 62);
  EXPECT_EQ(settings.Graphics1D.Width, 333);
  EXPECT_EQ(settings.Graphics1D.Height, 222);
  EXPECT_EQ(settings.WindowInfo.Left, 71);
  EXPECT_EQ(settings.WindowInfo.Width, 444);
  EXPECT_EQ(settings.WindowInfo.Height, 311);
}

// A window the user minimised (with no task bar to bring it back from) comes
// back with its button: restored, raised above the Control Window.
TEST_F(ControlViewsTest, AButtonBringsBackAMinimisedWindow) {
  struct TCase {
    const char *Button;
    std::function<QWidget *(const TDataControlForm &)> Window;
  };
  auto form = OpenControlWindow(Path, 1);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  for (const TCase &c : {TCase{"Show1DButton", &TDataControlForm::Form1D},
                         TCase{"Show2DButton", &TDataControlForm::Form2D},
                         TCase{"Show3DButton", &TDataControlForm::Form3D},
                         TCase{"ShowFtButton", &TDataControlForm::FormFt},
                         TCase{"ShowInfoButton", &TDataControlForm::FormInfo}}) {
    SCOPED_TRACE(c.Button);
    PressButton(*form, c.Button);
    QWidget *window = c.Window(*form);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    MinimiseAsWindowManager(*window);
    form->raise();
    SyncWithX11();
    PressButton(*form, c.Button);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->windowHandle()->isExposed(); }));
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(IsViewable(*window));
    EXPECT_GT(StackingPosition(*window), StackingPosition(*form));
  }
}

TEST_F(ControlViewsTest, ItemsAndScalesReachThe1DWindow) {
  auto form = OpenControlWindow(Path, 1);
  PressButton(*form, "Show1DButton");
  TShow1DForm *view = form->Form1D();
  // The dendrite ends at 50, the soma at 10.
  EXPECT_EQ(view->GetDistanceMax(), 50.0);
  auto *items = form->findChild<QListWidget *>("NeuronItemCheckListBox");
  items->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(view->GetDistanceMax(), 10.0);
  items->setCurrentRow(1);
  QTest::keyClick(items, Qt::Key_Return);
  EXPECT_EQ(items->item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(view->GetDistanceMax(), 50.0);

  EnterText(*form, "VariableMinEdit", "-5");
  EnterText(*form, "VariableMaxEdit", "12.3456");
  EXPECT_EQ(view->GetValueMin(), -5.0);
  EXPECT_EQ(view->GetValueMax(), 12.346);
}

TEST_F(ControlViewsTest, AFlatDataRangeStillGivesThe1DWindowItsAxes) {
  ASSERT_TRUE(WriteFlatDataFile(Path.toStdString(), -65.0, FrameTimes(0.0, 1.0, 2.0)));
  auto form = OpenControlWindow(Path, 1);
  EXPECT_EQ(form->findChild<QLabel *>("DataRangeMinLabel")->text(), "-65.000");
  EXPECT_EQ(form->findChild<QLabel *>("DataRangeMaxLabel")->text(), "-65.000");
  EXPECT_EQ(form->findChild<QLineEdit *>("VariableMinEdit")->text(), "-65.001");
  EXPECT_EQ(form->findChild<QLineEdit *>("VariableMaxEdit")->text(), "-64.999");
  EXPECT_LT(form->VariableScaleMin(), form->VariableScaleMax());

  PressButton(*form, "Show1DButton");
  TShow1DForm *view = form->Form1D();
  ASSERT_TRUE(QTest::qWaitFor([view] { return view->GetLastDrawnTime() == 0.0; }));
  const QImage picture = view->DisplayPanel()->grabFramebuffer();
  int ink = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      ink += qGray(picture.pixel(x, y)) < 128;
  // Two axes with their ticks and labels, at least.
  EXPECT_GT(ink, picture.width() / 2 + picture.height() / 2);
}

// A data range at the edge of a double: the boxes show numbers, the palette
// keeps the range they show, and the 2D window colours the segments apart.
TEST_F(ControlViewsTest, ARangeAtTheEdgeOfADoubleColoursTheSegmentsApart) {
  const struct {
    double Min, Max;
    const char *MinText, *MaxText;
  } cases[] = {{-1e308, 1e308, "-1e+308", "1e+308"}, {-1e308, 1e307, "-1e+308", "1e+307"}};
  int id = 1;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.MaxText);
    ASSERT_TRUE(WriteRangeDataFile(Path.toStdString(), c.Min, c.Max, {0.0}));
    auto form = OpenControlWindow(Path, id++);
    EXPECT_EQ(form->findChild<QLineEdit *>("VariableMinEdit")->text(), c.MinText);
    EXPECT_EQ(form->findChild<QLineEdit *>("VariableMaxEdit")->text(), c.MaxText);
    EXPECT_EQ(form->Palette().GetMinValue(), form->VariableScaleMin());
    EXPECT_EQ(form->Palette().GetMaxValue(), form->VariableScaleMax());

    PressButton(*form, "Show2DButton");
    TShow2DForm *view = form->Form2D();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->GetLastDrawnTime() == 0.0; }));
    const QImage picture = view->DisplayPanel()->grabFramebuffer();
    std::set<QRgb> colours;
    const TDataToColor &palette = form->Palette();
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        for (int i = 1; i < palette.GetColorCount(); ++i) {
          const TColor3f &rgb = palette.GetColor(i);
          if (picture.pixel(x, y) ==
              qRgb(qRound(rgb[0] * 255), qRound(rgb[1] * 255), qRound(rgb[2] * 255)))
            colours.insert(picture.pixel(x, y));
        }
    // Six segments spread over the whole range show four palette colours
    // besides black (at least three in exactly the palette's bytes); a palette
    // left on another range shows one.
    EXPECT_GE(colours.size(), 3u);

    // The 1D window draws its axes and the values in their colours.
    PressButton(*form, "Show1DButton");
    TShow1DForm *graph = form->Form1D();
    ASSERT_TRUE(QTest::qWaitFor([graph] { return graph->GetLastDrawnTime() == 0.0; }));
    const QImage strips = graph->DisplayPanel()->grabFramebuffer();
    int black = 0, coloured = 0;
    for (int y = 0; y < strips.height(); ++y)
      for (int x = 0; x < strips.width(); ++x) {
        const QRgb pixel = strips.pixel(x, y);
        black += pixel == qRgb(0, 0, 0);
        coloured += pixel != qRgb(0, 0, 0) && pixel != qRgb(255, 255, 255);
      }
    EXPECT_GT(black, strips.width() / 2 + strips.height() / 2);
    EXPECT_GT(coloured, strips.width() / 4);
  }
}

// Opening and destroying a Control Window with its views, with the threads
// running, hidden, or never drawn, must neither hang nor leave anything behind.
TEST_F(ControlViewsTest, OpenAndDestroyFiftyTimes) {
  for (int i = 0; i < 50; ++i) {
    auto form = OpenControlWindow(Path, i + 1);
    PressButton(*form, "Show1DButton");
    PressButton(*form, "ShowInfoButton");
    if (i % 3 == 1)
      form->Form1D()->close();
    if (i % 3 == 2)
      QTest::qWait(5);
    if (i % 5 == 0)
      PressButton(*form, "PlayBitBtn");
    form.reset();
    EXPECT_EQ(TopLevelCount(QString("Show1DForm%1").arg(i + 1)), 0);
  }
}

} // namespace
