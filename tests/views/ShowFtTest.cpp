#include "ViewTestData.h"

#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/ShowFt.h"
#include "views/ShowFtThread.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace {

template <typename Predicate> bool WaitUntil(Predicate predicate, int timeoutMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!predicate()) {
    if (timer.elapsed() > timeoutMs)
      return false;
    QTest::qWait(5);
  }
  return true;
}

using TRgbBytes = std::array<int, 3>;
using TTimes = std::vector<double>;

TRgbBytes Rgb(QRgb pixel) {
  return {qRed(pixel), qGreen(pixel), qBlue(pixel)};
}
const TRgbBytes Black{0, 0, 0};
const TRgbBytes White{255, 255, 255};
const TRgbBytes Red{255, 0, 0};

// A shown F(t) window over frames at times 0 to 10 where the soma (point code
// "0,0,0") has the value 2t, the first dendrite segment ("1,0,0") -2t and the
// second ("1,0,1") 30; the time scale 0..10, the variable scale -40..40.
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

  void Open() {
    Form = std::make_unique<TShowFtForm>(*Context);
    Form->resize(400, 300);
    Form->SetPoints(Context->Points);
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    ASSERT_TRUE(WaitUntil([&] { return Form->RenderThreadFt()->GetPassCount() >= 1; }));
    Grab();
  }

  // Adds a point as the Control Window does: to the list, then its menu entry.
  void AddPoint(const char *code) {
    Context->AddSelectedPoint(code, std::string("p") + code);
    if (Form)
      Form->AddPointMenuEntry(*Context->Points.back());
  }

  // Makes the frame at time current and waits until it was drawn.
  void GoTo(double time) {
    ASSERT_EQ(Context->Data.SeekFrame(time), time);
    ASSERT_TRUE(WaitUntil([&] { return Form->GetLastDrawnTime() == time; })) << time;
    Redraw();
  }

  // Waits for two more frames, so that one was drawn wholly after a change.
  void Redraw() {
    const std::uint64_t frames = Form->RenderThreadFt()->GetFrameCount();
    ASSERT_TRUE(WaitUntil([&] { return Form->RenderThreadFt()->GetFrameCount() >= frames + 2; }));
    Grab();
  }

  void Grab() {
    Picture = Form->DisplayPanel()->grabFramebuffer();
    Geometry = Form->RenderThreadFt()->GetGeometry();
  }

  QPoint ToPixel(double x, double y) const {
    const double column =
        (x - Geometry.ViewLeft) / (Geometry.ViewRight - Geometry.ViewLeft) * Picture.width();
    const double row =
        (y - Geometry.ViewBottom) / (Geometry.ViewTop - Geometry.ViewBottom) * Picture.height();
    return {static_cast<int>(std::floor(column)),
            Picture.height() - 1 - static_cast<int>(std::floor(row))};
  }

  // The colour at (x, y) or next to it: a line's pixel depends on rounding.
  bool HasColorNear(double x, double y, const TRgbBytes &color) const {
    const QPoint p = ToPixel(x, y);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (Picture.valid(p.x() + dx, p.y() + dy) &&
            Rgb(Picture.pixel(p.x() + dx, p.y() + dy)) == color)
          return true;
    return false;
  }

  TTimes Times(size_t point) const {
    TTimes times;
    for (const TPointSample &sample : Context->Points[point]->Samples)
      times.push_back(sample.Time);
    return times;
  }

  QMenu *ListOfPoints() const { return Form->findChild<QMenu *>("ListOfPointsMenu"); }
  QAction *Entry(int n) const { return ListOfPoints()->actions().at(n); }
  // "Color" (0) or "Delete" (1) of entry n.
  QAction *EntryItem(int n, int item) const {
    return Entry(n)->menu<QMenu *>()->actions().at(item);
  }

  void TearDown() override {
    if (HasFailure() && !Picture.isNull()) {
      const QString name =
          QString::fromStdString(::testing::UnitTest::GetInstance()->current_test_info()->name());
      const QString path = QDir::temp().filePath("dendrovia-ft-" + name + ".png");
      Picture.save(path);
      std::cerr << "picture: " << path.toStdString() << "\n";
    }
    Form.reset();
  }

  QTemporaryDir Dir;
  std::unique_ptr<TTestViewContext> Context;
  std::unique_ptr<TShowFtForm> Form;
  QImage Picture;
  TViewGeometry Geometry;
};

TEST_F(ShowFt, TheAxesLieAtZeroOrAtTheStartOfTheirRanges) {
  struct TCase {
    const char *TimeMin, *TimeMax, *ValueMin, *ValueMax;
    double TimeAxisAt, ValueAxisAt;
  };
  const TCase cases[] = {
      {"0", "100", "-80", "40", 0.0, 0.0},
      {"0", "100", "10", "50", 10.0, 0.0},
      {"20", "80", "-80", "40", 0.0, 20.0},
      {"20", "80", "-50", "-10", -50.0, 20.0},
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
    const TAxesLayout &axes = Form->RenderThreadFt()->GetAxes();
    const double t0 = std::stod(c.TimeMin), t1 = std::stod(c.TimeMax);
    const double v0 = std::stod(c.ValueMin), v1 = std::stod(c.ValueMax);
    EXPECT_EQ(axes.XAxis.Y1, c.TimeAxisAt) << c.ValueMin;
    EXPECT_EQ(axes.YAxis.X1, c.ValueAxisAt) << c.TimeMin;
    // The time axis drawn across its range, the value axis up its range.
    const double tMid = (t0 + t1) / 2 + 1.3, vMid = (v0 + v1) / 2 + 1.3;
    EXPECT_TRUE(HasColorNear(tMid, c.TimeAxisAt, Black)) << c.TimeMin << " " << c.ValueMin;
    EXPECT_FALSE(HasColorNear(tMid, c.TimeAxisAt + (v1 - v0) / 4, Black));
    EXPECT_TRUE(HasColorNear(c.ValueAxisAt, vMid, Black)) << c.TimeMin << " " << c.ValueMin;
    EXPECT_FALSE(HasColorNear(c.ValueAxisAt + (t1 - t0) / 4, vMid, Black));
  }
}

TEST_F(ShowFt, TimeTicksStartAtTheTimeMinimum) {
  Context->TimeMin = "3";
  Context->TimeMax = "97";
  Open();
  const TAxesLayout &axes = Form->RenderThreadFt()->GetAxes();
  ASSERT_EQ(axes.XStep, 10.0);
  std::vector<double> ticks, expected;
  for (const TAxisLine &tick : axes.XTicks)
    ticks.push_back(tick.X1);
  for (double t = 3; t <= 93; t += 10)
    expected.push_back(t);
  EXPECT_EQ(ticks, expected);
  ASSERT_FALSE(axes.XLabels.empty());
  EXPECT_EQ(axes.XLabels.front().Text, "3");
  EXPECT_EQ(axes.XLabels.back().Text, "93");
  // Value ticks still count from 0.
  bool zero = false;
  for (const TAxisLine &tick : axes.YTicks)
    zero = zero || tick.Y1 == 0.0;
  EXPECT_TRUE(zero);
}

TEST_F(ShowFt, CurvesGrowWithTheFramesDrawnAndShrinkWhenPlaybackMovesBack) {
  AddPoint("0,0,0");
  AddPoint("1,0,0");
  Open();
  for (double t : {0.0, 1.0, 2.0})
    GoTo(t);
  EXPECT_EQ(Times(0), (TTimes{0, 1, 2}));
  EXPECT_EQ(Times(1), (TTimes{0, 1, 2}));
  GoTo(1);
  EXPECT_EQ(Times(0), (TTimes{0, 1}));
  GoTo(2);
  EXPECT_EQ(Times(1), (TTimes{0, 1, 2}));
  for (double t = 3; t <= 10; ++t)
    GoTo(t);
  EXPECT_EQ(Context->Points[0]->Samples.back().Value, 20.0);
  // Both curves in black: 2t up, -2t down; nothing between them.
  for (double t : {1.5, 4.5, 8.5}) {
    EXPECT_TRUE(HasColorNear(t, 2 * t, Black)) << t;
    EXPECT_TRUE(HasColorNear(t, -2 * t, Black)) << t;
    EXPECT_EQ(Rgb(Picture.pixel(ToPixel(t, 10.0 + t))), White) << t;
  }

  // A point added while paused gets one sample now; the others no second.
  AddPoint("1,0,1");
  Redraw();
  EXPECT_EQ(Times(2), (TTimes{10}));
  EXPECT_EQ(Times(0).size(), 11u);
  EXPECT_EQ(Context->Points[2]->Samples[0].Value, 30.0);
}

TEST_F(ShowFt, TheTimeScaleHidesAndShowsSamplesWithoutLosingThem) {
  AddPoint("0,0,0");
  Open();
  for (double t = 0; t <= 10; ++t)
    GoTo(t);
  Context->TimeMin = "5";
  Form->UpdateTimeScale();
  Redraw();
  EXPECT_EQ(Form->RenderThreadFt()->GetDataWindow().XMin, 5.0);
  // Left of the scale, the curve is not drawn into the margin.
  EXPECT_FALSE(HasColorNear(4.0, 8.0, Black));
  EXPECT_TRUE(HasColorNear(7.5, 15.0, Black));
  EXPECT_EQ(Times(0).size(), 11u);
  Context->TimeMin = "0";
  Form->UpdateTimeScale();
  Redraw();
  EXPECT_TRUE(HasColorNear(2.5, 5.0, Black));
}

TEST_F(ShowFt, ARangeOfNoWidthKeepsTheLastWindowAndTheFramesGoOn) {
  AddPoint("0,0,0");
  Open();
  const TDataWindow before = Form->RenderThreadFt()->GetDataWindow();
  Context->TimeMin = "5";
  Context->TimeMax = "5";
  Form->UpdateTimeScale();
  Context->VariableMin = "7";
  Context->VariableMax = "7";
  Form->UpdateVariableScale();
  const TDataWindow after = Form->RenderThreadFt()->GetDataWindow();
  EXPECT_EQ(after.XMin, before.XMin);
  EXPECT_EQ(after.XMax, before.XMax);
  EXPECT_EQ(after.YMin, before.YMin);
  EXPECT_EQ(after.YMax, before.YMax);
  GoTo(3);
  GoTo(4);
  EXPECT_TRUE(HasColorNear(3.5, 7.0, Black));
}

TEST_F(ShowFt, ACurveOfManyMoreSamplesThanPixelsCoversItsWholeSwing) {
  // A saw between -30 and 30 with 100 teeth per time unit, up to the frame at 5.
  AddPoint("0,0,0");
  std::vector<TPointSample> &samples = Context->Points[0]->Samples;
  for (int i = 0; i <= 200000; ++i)
    samples.push_back({i / 40000.0, (i % 400) * 60.0 / 399.0 - 30.0});
  Context->Data.SeekFrame(5);
  Open();
  ASSERT_TRUE(WaitUntil([&] { return Form->GetLastDrawnTime() == 5.0; }));
  Redraw();
  EXPECT_EQ(samples.size(), 200001u);
  for (double t : {0.5, 2.0, 4.5})
    for (double v : {-29.0, -10.0, 10.0, 29.0})
      EXPECT_TRUE(HasColorNear(t, v, Black)) << t << " " << v;
  EXPECT_EQ(Rgb(Picture.pixel(ToPixel(2.0, 35.0))), White);
  EXPECT_EQ(Rgb(Picture.pixel(ToPixel(7.0, 10.0))), White);
}

TEST_F(ShowFt, AnEmptyListDrawsTheAxesAndFollowsTheFrames) {
  Open();
  GoTo(4);
  GoTo(7);
  EXPECT_TRUE(HasColorNear(5.3, 0.0, Black));
  EXPECT_EQ(Rgb(Picture.pixel(ToPixel(5.3, 10.6))), White);
  EXPECT_EQ(Form->windowTitle().toStdString(), TOptions::Instance().GraphicsFt.Title);
}

TEST_F(ShowFt, TheMenuListsThePointsAddedBeforeInOrderAndIsDisabledWithoutPoints) {
  Open();
  auto popup = [&] {
    const QPoint position(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, position,
                            Form->DisplayPanel()->mapToGlobal(position));
    QApplication::sendEvent(Form->DisplayPanel(), &event);
    const bool enabled = Form->findChild<QAction *>("DeleteAllPointsMenuItem")->isEnabled();
    EXPECT_EQ(ListOfPoints()->menuAction()->isEnabled(), enabled);
    Form->PopupMenu().close();
    return enabled;
  };
  EXPECT_FALSE(popup());
  Form.reset();

  AddPoint("0,0,0");
  AddPoint("1,0,0");
  AddPoint("1,0,1");
  Open();
  EXPECT_TRUE(popup());
  ASSERT_EQ(ListOfPoints()->actions().size(), 3);
  const char *captions[] = {" p0,0,0 ", " p1,0,0 ", " p1,0,1 "};
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(Entry(n)->text().toStdString(), captions[n]);
    EXPECT_EQ(EntryItem(n, 0)->text(), "Color");
    EXPECT_EQ(EntryItem(n, 1)->text(), "Delete");
  }
  AddPoint("0,0,0");
  EXPECT_EQ(ListOfPoints()->actions().size(), 4);

  Form->findChild<QAction *>("DeleteAllPointsMenuItem")->trigger();
  EXPECT_TRUE(Context->Points.empty());
  EXPECT_TRUE(ListOfPoints()->actions().isEmpty());
  EXPECT_FALSE(popup());
}

TEST_F(ShowFt, ColorAndDeleteActOnTheirOwnPoint) {
  AddPoint("0,0,0");
  AddPoint("1,0,0");
  AddPoint("1,0,1");
  Open();
  GoTo(2);
  GoTo(3);
  std::vector<QColor> presets;
  TScopedColorDialogHandler dialog([&](QWidget *, const QColor &initial) -> std::optional<QColor> {
    presets.push_back(initial);
    return presets.size() == 1 ? std::optional<QColor>(Qt::red) : std::nullopt;
  });
  EntryItem(1, 0)->trigger();
  EXPECT_EQ(Context->Points[1]->Color, 0xff0000u);
  Redraw();
  EXPECT_TRUE(HasColorNear(2.5, -5.0, Red));
  EXPECT_TRUE(HasColorNear(2.5, 5.0, Black));
  // Opened again, the dialog starts from red; cancelling changes nothing.
  EntryItem(1, 0)->trigger();
  EXPECT_EQ(presets, (std::vector<QColor>{Qt::black, Qt::red}));
  EXPECT_EQ(Context->Points[1]->Color, 0xff0000u);

  // Deleting the first leaves the other two, their colours, and no duplicate.
  EntryItem(0, 1)->trigger();
  Redraw();
  ASSERT_EQ(Context->Points.size(), 2u);
  ASSERT_EQ(ListOfPoints()->actions().size(), 2);
  EXPECT_EQ(Entry(0)->text().toStdString(), " p1,0,0 ");
  EXPECT_EQ(Context->Points[0]->Color, 0xff0000u);
  EXPECT_EQ(Times(0), (TTimes{0, 2, 3}));
  EXPECT_EQ(Times(1), (TTimes{0, 2, 3}));
  EXPECT_FALSE(HasColorNear(2.5, 5.0, Black));
  EXPECT_TRUE(HasColorNear(2.5, -5.0, Red));
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

TEST_F(ShowFt, ClearingTheHistoryKeepsThePointsAndTheirColours) {
  AddPoint("0,0,0");
  AddPoint("1,0,0");
  Context->Points[0]->Color = 0x0000ffu;
  Open();
  for (double t : {3.0, 4.0, 5.0})
    GoTo(t);
  Form->ClearHistory();
  EXPECT_TRUE(Context->Points[0]->Samples.empty());
  Redraw();
  EXPECT_EQ(Times(0), (TTimes{5}));
  EXPECT_EQ(Times(1), (TTimes{5}));
  EXPECT_EQ(Context->Points[0]->Color, 0x0000ffu);
  EXPECT_EQ(ListOfPoints()->actions().size(), 2);
  EXPECT_FALSE(HasColorNear(3.5, 7.0, {0, 0, 255}));
}

} // namespace
