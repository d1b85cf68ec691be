#include "ViewTestData.h"
#include "ViewWindowTest.h"

#include "render/OpenGLDisplayPanel.h"
#include "settings/Options.h"
#include "views/Show1D.h"
#include "views/Show1DThread.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

const TRgbBytes Black{0, 0, 0};
const TRgbBytes White{255, 255, 255};

// A shown 1D window on a test context, with its picture and the mapping of data
// coordinates to its pixels.
class Show1D : public ::testing::Test {
protected:
  void Open(const std::vector<TNeuronDataWriter::TSection> &sections,
            const std::vector<std::vector<double>> &frames,
            const std::vector<int> &uncheckedItems = {}) {
    Context = std::make_unique<TTestViewContext>(WriteDataFile(Dir, "view.dat", sections, frames));
    for (int item : uncheckedItems)
      Context->Data.GetItemChecked()[item] = 0;
    Form = std::make_unique<TShow1DForm>(*Context);
    // The first pass fits the projection to the panel; a paint of the toolkit's
    // own may have drawn a frame before it.
    ASSERT_TRUE(ShowViewWindow(*Form, 400, 300));
    ASSERT_GE(Form->GetLastDrawnTime(), 0.0);
    Grab();
  }

  // Waits for two more frames, so that one was drawn wholly after a change.
  void Redraw() {
    ASSERT_TRUE(WaitForFrames(*Form, 2));
    Grab();
  }

  void Grab() {
    Picture = Form->DisplayPanel()->grabFramebuffer();
    Geometry = Form->RenderThread1D()->GetGeometry();
  }

  QPoint ToPixel(double x, double y) const { return DataPixel(Geometry, Picture, x, y); }

  // The colour at (x, y), or at the pixel above or below it: a line's row
  // depends on rounding.
  bool HasColorNear(double x, double y, const TRgbBytes &color) const {
    const QPoint p = ToPixel(x, y);
    for (int dy = -1; dy <= 1; ++dy)
      if (Picture.valid(p.x(), p.y() + dy) && Rgb(Picture.pixel(p.x(), p.y() + dy)) == color)
        return true;
    return false;
  }

  void TearDown() override {
    SavePictureOfFailure(Picture, "1d");
    Form.reset();
  }

  QTemporaryDir Dir;
  std::unique_ptr<TTestViewContext> Context;
  std::unique_ptr<TShow1DForm> Form;
  QImage Picture;
  TViewGeometry Geometry;
};

// Counts the expose events of a window that other windows on the display
// caused (an uncovered part of a shown window comes as a paint event), and its
// resizes (a loaded server may pass a window through a size on the way): each
// may rightly ask for a frame.
class TExposeCounter : public QObject {
public:
  explicit TExposeCounter(QWindow *window) { window->installEventFilter(this); }
  int Count = 0;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if ((event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) ||
        event->type() == QEvent::Paint || event->type() == QEvent::Resize)
      ++Count;
    return false;
  }
};

TEST_F(Show1D, TheDistanceAxisLiesAtZeroOrAtTheValueMinimum) {
  Open({StraightSection("soma", -1, 50, 1)}, {{0.0, -10.0}});
  EXPECT_EQ(Form->GetDistanceMax(), 50.0);
  EXPECT_TRUE(HasColorNear(20.0, 0.0, Black));
  EXPECT_TRUE(HasColorNear(33.0, 0.0, Black));
  EXPECT_FALSE(HasColorNear(33.0, 10.0, Black));
  // The value axis at distance 0, from -80 to 40.
  EXPECT_TRUE(HasColorNear(0.0, -50.0, Black) || HasColorNear(0.3, -50.0, Black));
  // Labels left of the value axis and under the distance axis.
  EXPECT_EQ(Rgb(Picture.pixel(ToPixel(0.0, 0.0) + QPoint(-2, 0))), White);
  bool labelInk = false;
  for (int x = 0; x < ToPixel(0.0, 0.0).x() - 5; ++x)
    labelInk = labelInk || Rgb(Picture.pixel(x, ToPixel(0.0, 20.0).y())) == Black;
  EXPECT_TRUE(labelInk);

  Context->VariableMin = "10";
  Context->VariableMax = "50";
  Form->UpdateVariableScale();
  Redraw();
  EXPECT_EQ(Form->GetValueMin(), 10.0);
  EXPECT_EQ(Form->RenderThread1D()->GetDataWindow().YMin, 10.0);
  EXPECT_TRUE(HasColorNear(20.0, 10.0, Black));
  EXPECT_TRUE(HasColorNear(33.0, 10.0, Black));
  EXPECT_FALSE(HasColorNear(33.0, 20.0, Black));

  // A text that is not a number keeps that end.
  Context->VariableMax = "abc";
  Form->UpdateVariableScale();
  EXPECT_EQ(Form->GetValueMax(), 50.0);
}

TEST_F(Show1D, AOneSegmentSectionIsAHorizontalLineInItsPaletteColour) {
  Open({StraightSection("soma", -1, 50, 1)}, {{0.0, -10.0}});
  const TRgbBytes color = Context->ColorOf(-10.0);
  ASSERT_NE(color, Black);
  for (double x : {2.0, 15.0, 25.0, 40.0, 48.0})
    EXPECT_TRUE(HasColorNear(x, -10.0, color)) << "at " << x;
  EXPECT_FALSE(HasColorNear(25.0, -5.0, color));
  EXPECT_FALSE(HasColorNear(25.0, -15.0, color));
}

// Distances and a value scale beyond a float's range are drawn relative to
// the window: the picture is that of the same graph at ordinary size.
TEST_F(Show1D, DistancesAndValuesBeyondTheRangeOfAFloatAreDrawn) {
  const double k = 1e300;
  TNeuronDataWriter::TSection soma = StraightSection("soma", -1, 200 * k, 1);
  // As the file stores it (the squares of the steps overflow a double).
  soma.Length = 200 * k;
  Open({soma}, {{0.0, 5e307}});
  Context->VariableMin = "-1e308";
  Context->VariableMax = "1e308";
  Form->UpdateVariableScale();
  Redraw();
  const TRgbBytes color = Context->ColorOf(5e307);
  for (double x : {10.0, 100.0, 190.0})
    EXPECT_TRUE(HasColorNear(x * k, 5e307, color)) << "at " << x;
  EXPECT_FALSE(HasColorNear(100 * k, -5e307, color));
  // Both axes, with their ticks.
  EXPECT_TRUE(HasColorNear(100 * k, 0.0, Black));
  EXPECT_TRUE(HasColorNear(0.0, -5e307, Black));
  EXPECT_GE(Form->RenderThread1D()->GetAxes().XTicks.size(), 3u);
  EXPECT_GE(Form->RenderThread1D()->GetAxes().YTicks.size(), 3u);
}

TEST_F(Show1D, ASectionWithThreeChildrenForksFromTheMiddleOfItsLastSegment) {
  // Item 0 is the soma alone (unchecked); item 1 is the trunk (two segments,
  // 100 long) with its three children.
  Open({StraightSection("soma", -1, 10, 1), StraightSection("trunk", 0, 100, 2),
        StraightSection("c1", 1, 50, 1), StraightSection("c2", 1, 50, 1),
        StraightSection("c3", 1, 50, 1)},
       {{0.0, -50.0, -10.0, 10.0, 30.0, -30.0, 0.0}}, {0});
  const TRgbBytes fork = Context->ColorOf(10.0);
  // The fork starts at (75, 10) and ends at (100, (10 + first value) / 2):
  // 20, -10 and 5; at distance 95 the branches lie at 18, -6 and 6.
  for (double y : {18.0, -6.0, 6.0})
    EXPECT_TRUE(HasColorNear(95.0, y, fork)) << "branch at " << y;
  EXPECT_TRUE(HasColorNear(76.0, 10.0, fork));
  // No continuation of the trunk past the fork point.
  EXPECT_EQ(Rgb(Picture.pixel(ToPixel(95.0, 10.0))), White);
  // The children start where their branch ended.
  EXPECT_TRUE(HasColorNear(101.0, 20.0, Context->ColorOf(30.0)));
  EXPECT_TRUE(HasColorNear(101.0, -10.0, Context->ColorOf(-30.0)));
  // The unchecked soma is not drawn.
  EXPECT_FALSE(PictureHolds(Picture, Context->ColorOf(-50.0)));
}

TEST_F(Show1D, ItemsAreOverlaidFromDistanceZeroAndUncheckingTheFarthestShortensTheAxis) {
  Open({StraightSection("soma", -1, 30, 1), StraightSection("dendrite", 0, 100, 1)},
       {{0.0, -10.0, 10.0}});
  const TRgbBytes soma = Context->ColorOf(-10.0);
  const TRgbBytes dendrite = Context->ColorOf(10.0);
  ASSERT_NE(soma, dendrite);
  EXPECT_EQ(Form->GetDistanceMax(), 100.0);
  EXPECT_TRUE(HasColorNear(1.5, -10.0, soma));
  EXPECT_TRUE(HasColorNear(1.5, 10.0, dendrite));
  EXPECT_TRUE(HasColorNear(90.0, 10.0, dendrite));
  EXPECT_FALSE(HasColorNear(60.0, -10.0, soma));

  Context->Data.GetItemChecked()[1] = 0;
  Form->UpdateDistanceRange();
  Redraw();
  EXPECT_EQ(Form->GetDistanceMax(), 30.0);
  EXPECT_EQ(Form->RenderThread1D()->GetDataWindow().XMax, 30.0);
  EXPECT_TRUE(HasColorNear(28.0, -10.0, soma));
  EXPECT_FALSE(PictureHolds(Picture, dendrite));

  // With nothing checked the axis keeps its length and no graph is drawn.
  Context->Data.GetItemChecked()[0] = 0;
  Form->UpdateDistanceRange();
  Redraw();
  EXPECT_EQ(Form->RenderThread1D()->GetDataWindow().XMax, 30.0);
  EXPECT_FALSE(PictureHolds(Picture, soma));
}

TEST_F(Show1D, TheLastDrawnTimeFollowsTheFramesDrawn) {
  QTemporaryDir dir;
  TTestViewContext context(WriteDataFile(dir, "frames.dat", {StraightSection("soma", -1, 10, 1)},
                                         {{0.5, -10.0}, {1.5, 0.0}, {2.5, 10.0}}));
  TShow1DForm form(context);
  EXPECT_EQ(form.GetLastDrawnTime(), -1.0);
  QTest::qWait(50);
  EXPECT_EQ(form.GetLastDrawnTime(), -1.0) << "drawn while never shown";
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.GetLastDrawnTime() == 0.5; }, 10000));
  EXPECT_EQ(context.Data.StepForward(0), 1.5);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.GetLastDrawnTime() == 1.5; }, 10000));
}

TEST_F(Show1D, HidingSuspendsTheThreadAndShowingKeepsItsThreadAndContext) {
  Open({StraightSection("soma", -1, 50, 1)}, {{0.0, -10.0}});
  TOpenGLThread1D *thread = Form->RenderThread1D();
  const QOpenGLContext *context = Form->DisplayPanel()->context();
  ASSERT_TRUE(thread->IsContextReady());
  EXPECT_EQ(Form->windowTitle().toStdString(), TOptions::Instance().Graphics1D.Title);
  EXPECT_TRUE(Form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  Form->close();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_TRUE(thread->IsSuspended());
  QTest::qWait(50);
  const std::uint64_t passes = thread->GetPassCount();
  QTest::qWait(100);
  EXPECT_EQ(thread->GetPassCount(), passes);

  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  EXPECT_TRUE(QTest::qWaitFor([&] { return thread->GetPassCount() > passes + 2; }, 10000));
  EXPECT_EQ(Form->RenderThread1D(), thread);
  EXPECT_EQ(Form->DisplayPanel()->context(), context);
  Redraw();
  EXPECT_TRUE(HasColorNear(25.0, -10.0, Context->ColorOf(-10.0)));
}

TEST_F(Show1D, AResizeRefitsTheProjection) {
  Open({StraightSection("soma", -1, 50, 1)}, {{0.0, -10.0}});
  Form->resize(600, 200);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return Form->RenderThread1D()->GetGeometry().PanelRight == 600 &&
               Form->RenderThread1D()->GetGeometry().PanelBottom == 200;
      },
      10000));
  Redraw();
  EXPECT_EQ(Picture.width(), 600);
  EXPECT_TRUE(HasColorNear(25.0, -10.0, Context->ColorOf(-10.0)));
  EXPECT_TRUE(HasColorNear(33.0, 0.0, Black));
}

TEST_F(Show1D, F1AsksForHelpAndCtrlF1ForTheAboutWindow) {
  Open({StraightSection("soma", -1, 50, 1)}, {{0.0, -10.0}});
  QTest::keyClick(Form.get(), Qt::Key_F1);
  QTest::keyClick(Form.get(), Qt::Key_F1, Qt::ControlModifier);
  QTest::keyClick(Form.get(), Qt::Key_F2);
  EXPECT_EQ(Context->HelpRequests, (std::vector<bool>{false, true}));
}

TEST_F(Show1D, StoppingTheThreadOfAHiddenWindowEndsIt) {
  Open({StraightSection("soma", -1, 50, 1)}, {{0.0, -10.0}});
  Form->close();
  ASSERT_TRUE(Form->RenderThread1D()->IsSuspended());
  Form->StopRenderThread();
  EXPECT_EQ(Form->RenderThread(), nullptr);
  Form->StopRenderThread();
}

TEST_F(Show1D, AWindowCanBeDestroyedFromInsideAModalBox) {
  Open({StraightSection("soma", -1, 50, 1)}, {{0.0, -10.0}});
  QMessageBox box(QMessageBox::Information, "Box", "open while the window goes");
  QTimer::singleShot(50, [&] {
    Form.reset();
    box.done(QMessageBox::Ok);
  });
  box.exec();
  EXPECT_EQ(Form, nullptr);
}

TEST_F(Show1D, AViewWhoseFrameStaysDrawsNoMoreButStillReportsItDrawn) {
  Open({StraightSection("soma", -1, 50, 1)}, {{0.0, -10.0}, {1.0, 20.0}});
  Form->move(1300, 650);
  TOpenGLThread1D *thread = Form->RenderThread1D();
  const std::uint64_t draws = SettledDraws(*thread);
  const std::uint64_t passes = thread->GetPassCount();
  const std::uint64_t frames = thread->GetFrameCount();
  const TExposeCounter exposes(Form->DisplayPanel()->NativeWindow());
  QTest::qWait(200);
  EXPECT_LE(thread->GetDrawCount(), draws + exposes.Count);
  // The loop goes on, and counts the picture as current.
  EXPECT_GT(thread->GetPassCount(), passes);
  EXPECT_GT(thread->GetFrameCount(), frames);
  EXPECT_EQ(Form->GetLastDrawnTime(), 0.0);
}

// One change of what the view shows: one frame drawn, then none.
TEST_F(Show1D, EachChangeDrawsExactlyOneFrame) {
  Open({StraightSection("soma", -1, 30, 1), StraightSection("dendrite", 0, 100, 1)},
       {{0.0, -10.0, 10.0}, {1.0, 20.0, 30.0}, {2.0, 0.0, 5.0}});
  // Away from where other tests' windows appear: covering it would expose it.
  Form->move(1300, 650);
  TOpenGLThread1D *thread = Form->RenderThread1D();
  QWidget cover;
  const std::vector<std::pair<std::string, std::function<void()>>> changes = {
      {"frame step", [&] { Context->Data.StepForward(0); }},
      {"recolouring", [&] { Context->Data.RecolorCurrentFrame(); }},
      {"scale edit",
       [&] {
         Context->VariableMin = "-60";
         Form->UpdateVariableScale();
       }},
      {"item toggle",
       [&] {
         Context->Data.GetItemChecked()[1] = 0;
         Form->UpdateDistanceRange();
       }},
      {"item toggle keeping the axis",
       [&] {
         Context->Data.GetItemChecked()[1] = 1;
         Context->Data.GetItemChecked()[0] = 0;
         Form->UpdateDistanceRange();
       }},
      {"invalidation", [&] { thread->Invalidate(); }},
      {"resize", [&] { Form->resize(500, 320); }},
      {"expose",
       [&] {
         cover.setGeometry(Form->geometry());
         cover.show();
         ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover));
         SettledDraws(*thread);
         cover.hide();
       }},
  };
  const TExposeCounter exposes(Form->DisplayPanel()->NativeWindow());
  for (const auto &[name, change] : changes) {
    const std::uint64_t draws = SettledDraws(*thread);
    const int exposed = exposes.Count;
    change();
    const std::uint64_t after = SettledDraws(*thread);
    // Other tests' windows on the same display may expose this one meanwhile.
    const int others =
        std::max(0, exposes.Count - exposed - (name == "expose" || name == "resize" ? 1 : 0));
    EXPECT_GE(after, draws + 1) << name;
    EXPECT_LE(after, draws + 1 + others) << name;
  }
  EXPECT_EQ(Form->GetLastDrawnTime(), 1.0);
  Grab();
  EXPECT_TRUE(HasColorNear(50.0, 30.0, Context->ColorOf(30.0)));
}

// Creating and destroying windows with their threads in every state must
// neither hang nor touch freed memory.
TEST(Show1DStress, FiftyWindowsComeAndGo) {
  QTemporaryDir dir;
  TTestViewContext context(WriteDataFile(
      dir, "stress.dat", {StraightSection("soma", -1, 20, 2), StraightSection("dend", 0, 100, 8)},
      {{0.0, -70, -60, -50, -40, -30, -20, -10, 0, 10, 20}}));
  for (int i = 0; i < 50; ++i) {
    auto form = std::make_unique<TShow1DForm>(context);
    form->resize(200 + i, 150);
    switch (i % 5) {
    case 0: // never shown: the thread never ran
      break;
    case 1: // shown and drawing
      form->show();
      ASSERT_TRUE(QTest::qWaitFor([&] { return form->GetLastDrawnTime() == 0.0; }, 10000));
      break;
    case 2: // shown, then closed: suspended
      form->show();
      ASSERT_TRUE(QTest::qWaitFor([&] { return form->GetLastDrawnTime() == 0.0; }, 10000));
      form->close();
      break;
    case 3: // shown and at once stopped, as the Control Window does
      form->show();
      form->StopRenderThread();
      break;
    case 4: // shown, and destroyed without waiting for a frame
      form->show();
      break;
    }
    form.reset();
  }
  QCoreApplication::processEvents();
}

} // namespace
