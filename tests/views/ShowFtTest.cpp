#include "ViewTestData.h"
#include "ViewWindowTest.h"

#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/ShowFt.h"
#include "views/ShowFtThread.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const TRgbBytes Black{0, 0, 0}, Red{255, 0, 0};

// A shown F(t) window over frames at times 0 to 10 where the soma (point code
// "0,0,0") has the value 2t, the dendrite's first segment ("1,0,0") -2t and its
// second ("1,0,1") 30; time scale 0..10, variable scale -40..40.
class ShowFt : public ::testing::Test {
protected:
  void SetUp() override {
    std::vector<std::vector<double>> frames;
    for (int t = 0; t <= 10; ++t)
      frames.push_back({double(t), 2.0 * t, -2.0 * t, 30.0});
    Context = std::make_unique<TTestViewContext>(WriteDataFile(
        Dir, "ft.dat", {StraightSection("soma", -1, 10, 1), StraightSection("dend", 0, 20, 2)},
        frames));
    Context->TimeMax = "10";
    Context->VariableMin = "-40";
    Context->VariableMax = "40";
  }
  void TearDown() override {
    SavePictureOfFailure(Picture, "ft");
    Form.reset();
  }

  void Open() {
    Form = std::make_unique<TShowFtForm>(*Context);
    Form->SetPoints(Context->Points);
    ASSERT_TRUE(ShowViewWindow(*Form, 400, 300));
  }
  TOpenGLThreadFt *Thread() const { return Form->RenderThreadFt(); }

  // As the Control Window adds a point: to the list, then its menu entry.
  void AddPoint(const char *code) {
    Context->AddSelectedPoint(code, std::string("p") + code);
    if (Form)
      Form->AddPointMenuEntry(*Context->Points.back());
  }

  // Makes the frame at time current and waits until it was drawn.
  void GoTo(double time) {
    ASSERT_EQ(Context->Data.SeekFrame(time), time);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->GetLastDrawnTime() == time; })) << time;
    Redraw();
  }

  // Waits for two more frames, so that one was drawn wholly after a change.
  void Redraw() {
    ASSERT_TRUE(WaitForFrames(*Form, 2));
    Picture = Form->DisplayPanel()->grabFramebuffer();
  }

  // The pixel of a data point, or one next to it that has the colour.
  bool HasColorNear(double x, double y, const TRgbBytes &color) const {
    const QPoint p = DataPixel(Thread()->GetGeometry(), Picture, x, y);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (Picture.valid(p.x() + dx, p.y() + dy) &&
            Rgb(Picture.pixel(p.x() + dx, p.y() + dy)) == color)
          return true;
    return false;
  }

  std::vector<double> Times(size_t point) const {
    std::vector<double> times;
    for (const TPointSample &sample : Context->Points[point]->Samples)
      times.push_back(sample.Time);
    return times;
  }

  QMenu *ListOfPoints() const { return Form->findChild<QMenu *>("ListOfPointsMenu"); }
  QAction *DeleteAll() const { return Form->findChild<QAction *>("DeleteAllPointsMenuItem"); }
  QAction *Entry(int n) const { return ListOfPoints()->actions().at(n); }
  // "Color" (0) or "Delete" (1) of entry n.
  QAction *EntryItem(int n, int item) const {
    return Entry(n)->menu<QMenu *>()->actions().at(item);
  }

  QTemporaryDir Dir;
  std::unique_ptr<TTestViewContext> Context;
  std::unique_ptr<TShowFtForm> Form;
  QImage Picture;
};

TEST_F(ShowFt, TheAxesLieAtZeroOrAtTheStartOfTheirRangesAndTimeTicksStartThere) {
  struct TCase {
    std::string TimeMin, TimeMax, ValueMin, ValueMax;
    double TimeAxisAt, ValueAxisAt;
  };
  const TCase cases[] = {
      {"0", "100", "-80", "40", 0, 0},
      {"0", "100", "10", "50", 10, 0},
      {"20", "80", "-80", "40", 0, 20},
      {"3", "97", "-50", "-10", -50, 3},
  };
  Open();
  for (const TCase &c : cases) {
    Context->TimeMin = c.TimeMin;
    Context->TimeMax = c.TimeMax;
    Context->VariableMin = c.ValueMin;
    Context->VariableMax = c.ValueMax;
    Form->UpdateTimeScale();
    Form->UpdateVariableScale();
    Redraw();
    const TAxesLayout &axes = Thread()->GetAxes();
    const double t0 = std::stod(c.TimeMin), t1 = std::stod(c.TimeMax);
    const double v0 = std::stod(c.ValueMin), v1 = std::stod(c.ValueMax);
    const double tMid = (t0 + t1) / 2 + 1.3, vMid = (v0 + v1) / 2 + 1.3;
    EXPECT_EQ(axes.XAxis.Y1, c.TimeAxisAt) << c.ValueMin;
    EXPECT_EQ(axes.YAxis.X1, c.ValueAxisAt) << c.TimeMin;
    EXPECT_TRUE(HasColorNear(tMid, c.TimeAxisAt, Black)) << c.ValueMin;
    EXPECT_FALSE(HasColorNear(tMid, c.TimeAxisAt + (v1 - v0) / 4, Black));
    EXPECT_TRUE(HasColorNear(c.ValueAxisAt, vMid, Black)) << c.TimeMin;
    EXPECT_FALSE(HasColorNear(c.ValueAxisAt + (t1 - t0) / 4, vMid, Black));
    EXPECT_EQ(axes.XTicks.front().X1, t0) << c.TimeMin;
  }
  // 3..97 by 10: ticks at 3, 13, ..., 93.
  const TAxesLayout &axes = Thread()->GetAxes();
  ASSERT_EQ(axes.XStep, 10.0);
  EXPECT_EQ(axes.XTicks.size(), 10u);
  EXPECT_EQ(axes.XLabels.back().Text, "93");
}

TEST_F(ShowFt, CurvesFollowTheFramesDrawnAndTheTimeScale) {
  Open();
  GoTo(4);
  EXPECT_EQ(Form->GetLastDrawnTime(), 4.0) << "an empty list follows the frames too";
  AddPoint("0,0,0");
  AddPoint("1,0,0");
  for (double t = 0; t <= 10; ++t)
    GoTo(t);
  EXPECT_EQ(Times(0).size(), 11u);
  // Both curves in black: 2t up, -2t down, nothing between them.
  for (double t : {1.5, 4.5, 8.5}) {
    EXPECT_TRUE(HasColorNear(t, 2 * t, Black)) << t;
    EXPECT_TRUE(HasColorNear(t, -2 * t, Black)) << t;
    EXPECT_FALSE(HasColorNear(t, 10 + t, Black)) << t;
  }
  // Narrowing the time scale hides samples; widening shows them again.
  Context->TimeMin = "5";
  Form->UpdateTimeScale();
  Redraw();
  EXPECT_FALSE(HasColorNear(4.0, 8.0, Black));
  EXPECT_TRUE(HasColorNear(7.5, 15.0, Black));
  Context->TimeMin = "0";
  Form->UpdateTimeScale();
  Redraw();
  EXPECT_TRUE(HasColorNear(2.5, 5.0, Black));

  // A range of no width keeps the last window; the frames go on.
  Context->TimeMin = Context->TimeMax = "5";
  Form->UpdateTimeScale();
  EXPECT_EQ(Thread()->GetDataWindow().XMax, 10.0);
  GoTo(3);
  EXPECT_TRUE(HasColorNear(2.5, 5.0, Black));

  // Far more samples than pixels: a saw of 100 teeth per time unit between -30
  // and 30 covers its whole swing.
  std::vector<TPointSample> &saw = Context->Points[1]->Samples;
  saw.clear();
  for (int i = 0; i <= 120000; ++i)
    saw.push_back({i / 40000.0, (i % 400) * 60.0 / 399.0 - 30.0});
  Form->RenderThreadFt()->Invalidate();
  Redraw();
  for (double v : {-29.0, 10.0, 29.0})
    EXPECT_TRUE(HasColorNear(1.5, v, Black)) << v;
  EXPECT_FALSE(HasColorNear(1.5, 35.0, Black));
}

// Times and a value scale beyond a float's range are drawn relative to the
// window, curves thinned to pixel columns too.
TEST_F(ShowFt, TimesAndValuesBeyondTheRangeOfAFloatAreDrawn) {
  const double k = 1e300, v = 1e307;
  std::vector<std::vector<double>> frames;
  for (int t = 0; t <= 10; ++t)
    frames.push_back({t * k, t * v, -t * v, 30.0});
  Context = std::make_unique<TTestViewContext>(WriteDataFile(
      Dir, "far.dat", {StraightSection("soma", -1, 10, 1), StraightSection("dend", 0, 20, 2)},
      frames));
  Context->TimeMax = "1e301";
  Context->VariableMin = "-1e308";
  Context->VariableMax = "1e308";
  Open();
  AddPoint("0,0,0");
  AddPoint("1,0,0");
  for (int t = 0; t <= 10; ++t)
    GoTo(t * k);
  for (double t : {1.5, 4.5, 8.5}) {
    EXPECT_TRUE(HasColorNear(t * k, t * v, Black)) << t;
    EXPECT_TRUE(HasColorNear(t * k, -t * v, Black)) << t;
    EXPECT_FALSE(HasColorNear(t * k, t * v / 2, Black)) << t;
  }
  EXPECT_GE(Thread()->GetAxes().XTicks.size(), 3u);
  EXPECT_GE(Thread()->GetAxes().YTicks.size(), 3u);

  std::vector<TPointSample> &saw = Context->Points[1]->Samples;
  saw.clear();
  for (int i = 0; i <= 120000; ++i)
    saw.push_back({i / 40000.0 * k, ((i % 400) * 6.0 / 399.0 - 3.0) * v});
  Form->RenderThreadFt()->Invalidate();
  Redraw();
  for (double y : {-2.9, 1.0, 2.9})
    EXPECT_TRUE(HasColorNear(1.5 * k, y * v, Black)) << y;
  EXPECT_FALSE(HasColorNear(1.5 * k, 3.5 * v, Black));
}

TEST_F(ShowFt, TheMenuListsThePointsInOrderColoursAndDeletesThem) {
  AddPoint("0,0,0");
  AddPoint("1,0,0");
  Open();
  GoTo(2);
  GoTo(3);
  AddPoint("1,0,1");
  auto popupEnabled = [&] {
    const QPoint at(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, Form->DisplayPanel()->mapToGlobal(at));
    QApplication::sendEvent(Form->DisplayPanel(), &event);
    Form->PopupMenu().close();
    EXPECT_EQ(ListOfPoints()->menuAction()->isEnabled(), DeleteAll()->isEnabled());
    return DeleteAll()->isEnabled();
  };
  EXPECT_TRUE(popupEnabled());
  std::vector<QString> captions;
  for (int n = 0; n < 3; ++n)
    captions.push_back(Entry(n)->text() + EntryItem(n, 0)->text() + EntryItem(n, 1)->text());
  EXPECT_EQ(captions, (std::vector<QString>{" p0,0,0 ColorDelete", " p1,0,0 ColorDelete",
                                            " p1,0,1 ColorDelete"}));
  std::vector<QColor> presets;
  TScopedColorDialogHandler dialog([&](QWidget *, const QColor &initial) -> std::optional<QColor> {
    presets.push_back(initial);
    return presets.size() == 1 ? std::optional<QColor>(Qt::red) : std::nullopt;
  });
  EntryItem(1, 0)->trigger();
  Redraw();
  EXPECT_TRUE(HasColorNear(2.5, -5.0, Red));
  EXPECT_TRUE(HasColorNear(2.5, 5.0, Black));
  EntryItem(1, 0)->trigger(); // preset to red, then cancelled
  EXPECT_EQ(presets, (std::vector<QColor>{Qt::black, Qt::red}));
  EXPECT_EQ(Context->Points[1]->Color, 0xff0000u);

  // Deleting the first leaves the other two, their colours, and no duplicate.
  EntryItem(0, 1)->trigger();
  Redraw();
  ASSERT_EQ(ListOfPoints()->actions().size(), 2);
  EXPECT_EQ(Entry(0)->text(), " p1,0,0 ");
  EXPECT_EQ(Context->Points[0]->Color, 0xff0000u);
  EXPECT_EQ(Times(1), (std::vector<double>{3})) << "added while paused at 3";
  EXPECT_EQ(Times(0), (std::vector<double>{0, 2, 3}));
  EXPECT_FALSE(HasColorNear(2.5, 5.0, Black));
  DeleteAll()->trigger();
  EXPECT_TRUE(Context->Points.empty() && ListOfPoints()->actions().isEmpty());
  EXPECT_FALSE(popupEnabled());
}

TEST_F(ShowFt, AnEntryIsWrittenInItsPointsColourUnlessHighlighted) {
  AddPoint("0,0,0");
  AddPoint("1,0,0");
  Context->Points[1]->Color = 0xff0000u;
  Open();
  QMenu *menu = ListOfPoints();
  menu->popup(Form->mapToGlobal(QPoint(10, 10)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  auto reddish = [&](int n) {
    const QImage image = menu->grab().toImage();
    const QRect rect = menu->actionGeometry(Entry(n));
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left(); x <= rect.right(); ++x) {
        const QRgb p = image.pixel(x, y);
        count += qRed(p) > 150 && qGreen(p) < 90 && qBlue(p) < 90;
      }
    return count;
  };
  EXPECT_EQ(reddish(0), 0);
  EXPECT_GT(reddish(1), 5);
  menu->setActiveAction(Entry(1));
  EXPECT_EQ(reddish(1), 0);
  menu->close();
}

} // namespace

namespace {

// A curve thinned to the pixel columns is drawn again as it was while nothing
// changed, and thinned anew for a wider panel: the same pixels as a window
// opened at that width.
TEST_F(ShowFt, ThinnedCurvesFollowThePanelWidth) {
  AddPoint("0,0,0");
  Open();
  GoTo(3);
  std::vector<TPointSample> &saw = Context->Points[0]->Samples;
  saw.clear();
  for (int i = 0; i <= 120000; ++i)
    saw.push_back({i / 40000.0, (i % 400) * 60.0 / 399.0 - 30.0});
  Thread()->Invalidate();
  Redraw();
  const QImage first = Picture;
  Thread()->Invalidate();
  Redraw();
  EXPECT_EQ(Picture, first);

  Form->resize(523, 300);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->DisplayPanel()->width() > 400; }));
  Redraw();
  const QImage wider = Picture;
  Form.reset();
  Form = std::make_unique<TShowFtForm>(*Context);
  Form->SetPoints(Context->Points);
  ASSERT_TRUE(ShowViewWindow(*Form, 523, 300));
  Redraw();
  EXPECT_EQ(Picture, wider);
}

} // namespace
