#include "ViewTestData.h"

#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show2D.h"
#include "views/Show2DThread.h"

#include <QAction>
#include <QActionGroup>
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

TRgbBytes Rgb(QRgb pixel) {
  return {qRed(pixel), qGreen(pixel), qBlue(pixel)};
}
const TRgbBytes Black{0, 0, 0};
const TRgbBytes White{255, 255, 255};
const TRgbBytes Magenta{255, 0, 255};

bool Near(const TRgbBytes &a, const TRgbBytes &b, int tolerance) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(a[i] - b[i]) > tolerance)
      return false;
  return true;
}

TRgbBytes Mix(const TRgbBytes &a, const TRgbBytes &b) {
  return {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
}

// Item 0: the soma (row 70). Item 1: dend and a on row 50, b (tapered) on row
// 40. Item 2: axon and axon2 on row 20. Distances up to 140.
const std::vector<TNeuronDataWriter::TSection> Tree{
    StraightSection("soma", -1, 10, 1), StraightSection("dend", 0, 100, 2),
    StraightSection("a", 1, 40, 1),     TaperedSection("b", 1, 40, 4, 2.0, 1.0),
    StraightSection("axon", 0, 60, 3),  StraightSection("axon2", 4, 45, 3)};
const std::vector<double> Values{-40, -20, 0, 20, 45, -40, -20, 0, 20, 0, -20, -40, 20, 45};

// A shown 2D window on a test context, with the messages its clicks show, its
// picture and the mapping of data coordinates to its pixels.
class Show2D : public ::testing::Test {
protected:
  void SetUp() override { TOptions::ReleaseInstance(); }

  void Open(const std::vector<TNeuronDataWriter::TSection> &sections = Tree,
            const std::vector<std::vector<double>> &frames = {}) {
    std::vector<std::vector<double>> written = frames;
    if (written.empty()) {
      written.push_back({0.5});
      written.back().insert(written.back().end(), Values.begin(), Values.end());
    }
    Context = std::make_unique<TTestViewContext>(WriteDataFile(Dir, "view.dat", sections, written));
    Form = std::make_unique<TShow2DForm>(*Context);
    Form->SetSelectedPoints(Context->Points);
    Form->resize(500, 400);
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    ASSERT_TRUE(WaitUntil([&] { return Form->RenderThread2D()->GetPassCount() >= 1; }));
    ASSERT_GE(Form->GetLastDrawnTime(), 0.0);
    Redraw();
  }

  // Waits for two more frames, so that one was drawn wholly after a change.
  void Redraw() {
    const std::uint64_t frames = Form->RenderThread2D()->GetFrameCount();
    ASSERT_TRUE(WaitUntil([&] { return Form->RenderThread2D()->GetFrameCount() >= frames + 2; }));
    Picture = Form->DisplayPanel()->grabFramebuffer();
    Geometry = Form->RenderThread2D()->GetGeometry();
  }

  QPoint ToPixel(double x, double y) const {
    const double column =
        (x - Geometry.ViewLeft) / (Geometry.ViewRight - Geometry.ViewLeft) * Picture.width();
    const double row =
        (y - Geometry.ViewBottom) / (Geometry.ViewTop - Geometry.ViewBottom) * Picture.height();
    return {static_cast<int>(std::floor(column)),
            Picture.height() - 1 - static_cast<int>(std::floor(row))};
  }

  TRgbBytes At(QPoint p) const {
    return Picture.valid(p) ? Rgb(Picture.pixel(p)) : TRgbBytes{-1, -1, -1};
  }

  // The colour at (x, y) or a pixel above or below, within tolerance.
  bool HasColorNear(double x, double y, const TRgbBytes &color, int tolerance = 0) const {
    const QPoint p = ToPixel(x, y);
    for (int dy = -1; dy <= 1; ++dy)
      if (Near(At(p + QPoint(0, dy)), color, tolerance))
        return true;
    return false;
  }

  bool PictureHolds(const TRgbBytes &color) const {
    for (int y = 0; y < Picture.height(); ++y)
      for (int x = 0; x < Picture.width(); ++x)
        if (Rgb(Picture.pixel(x, y)) == color)
          return true;
    return false;
  }

  // Clicks at (x, y) in the given mode; the message shown, or "" for none.
  std::string Click(double x, double y, int mode = -1) {
    if (mode >= 0)
      Form->RenderThread2D()->SetSelectPointMode(mode);
    Messages.clear();
    QTest::mouseClick(Form->DisplayPanel(), Qt::LeftButton, {}, ToPixel(x, y));
    if (Messages.empty())
      return "";
    EXPECT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Captions.back(), Form->windowTitle().toStdString());
    return Messages.back();
  }

  // Opens the context menu at a panel point and chooses an item of it.
  void ChooseFromMenu(QPoint at, const char *item) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, Form->DisplayPanel()->mapToGlobal(at));
    QCoreApplication::sendEvent(Form->DisplayPanel(), &event);
    QMenu *menu = Form->findChild<QMenu *>("PopupMenu");
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return menu->isVisible(); }));
    QAction *action = Form->findChild<QAction *>(item);
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
    menu->close();
  }

  void TearDown() override {
    if (HasFailure() && !Picture.isNull()) {
      const QString name =
          QString::fromStdString(::testing::UnitTest::GetInstance()->current_test_info()->name());
      const QString path = QDir::temp().filePath("dendrovia-2d-" + name + ".png");
      Picture.save(path);
      std::cerr << "picture: " << path.toStdString() << "\n";
    }
    Form.reset();
    TOptions::ReleaseInstance();
  }

  QTemporaryDir Dir;
  std::unique_ptr<TTestViewContext> Context;
  std::unique_ptr<TShow2DForm> Form;
  QImage Picture;
  TViewGeometry Geometry;
  std::vector<std::string> Messages;
  std::vector<std::string> Captions;
  TScopedMessageBoxHandler Handler{[this](QWidget *, const QString &caption, const QString &text,
                                          QMessageBox::Icon icon, QMessageBox::StandardButtons) {
    EXPECT_EQ(icon, QMessageBox::Information);
    Captions.push_back(caption.toStdString());
    Messages.push_back(text.toStdString());
    return QMessageBox::Ok;
  }};
};

TEST_F(Show2D, RowsAndExtentsFollowTheLayout) {
  Open();
  EXPECT_EQ(Form->GetDistanceMax(), 140.0);
  EXPECT_EQ(Form->GetTotalHeight(), 70.0);
  const TDataWindow window = Form->RenderThread2D()->GetDataWindow();
  EXPECT_EQ(window.XMax, 140.0);
  EXPECT_EQ(window.YMax, 70.0);
  // Margins of 30 pixels' worth left, right and top, 40 at the bottom.
  EXPECT_DOUBLE_EQ(Geometry.ViewLeft, -140.0 * 30 / 500);
  EXPECT_DOUBLE_EQ(Geometry.ViewRight, 140.0 + 140.0 * 30 / 500);
  EXPECT_DOUBLE_EQ(Geometry.ViewBottom, -70.0 * 40 / 400);
  EXPECT_DOUBLE_EQ(Geometry.ViewTop, 70.0 + 70.0 * 30 / 400);
  EXPECT_EQ(Form->windowTitle().toStdString(), TOptions::Instance().Graphics2D.Title);
}

TEST_F(Show2D, SegmentsBlendFromTheirColourIntoTheNext) {
  Open();
  const auto color = [&](int segment) { return Context->ColorOf(Values[segment]); };
  // dend: segment 0 blends into segment 1; the last keeps its own colour.
  EXPECT_TRUE(HasColorNear(25.0, 50.0, Mix(color(1), color(2)), 40)) << "dend 0";
  EXPECT_TRUE(HasColorNear(2.0, 50.0, color(1), 12)) << "dend starts in its colour";
  for (double x : {55.0, 75.0, 97.0})
    EXPECT_TRUE(HasColorNear(x, 50.0, color(2))) << "dend 1 at " << x;
  // One-segment sections are one colour from end to end.
  for (double x : {102.0, 120.0, 138.0})
    EXPECT_TRUE(HasColorNear(x, 50.0, color(3))) << "a at " << x;
  for (double x : {1.0, 5.0, 9.0})
    EXPECT_TRUE(HasColorNear(x, 70.0, color(0))) << "soma at " << x;
  // Nothing on a row between the rows.
  EXPECT_EQ(At(ToPixel(60.0, 30.0)), White);
}

TEST_F(Show2D, ConnectionLinesAreBlackAndTheScaleBarLiesUnderTheLowestRow) {
  Open();
  // b's connection from row 50 down to row 40 at x = 100.
  bool black = false;
  for (int dx = -1; dx <= 1; ++dx)
    black = black || At(ToPixel(100.0, 45.0) + QPoint(dx, 0)) == Black;
  EXPECT_TRUE(black);
  // The axon item's second row continues its first: no connection.
  EXPECT_EQ(At(ToPixel(60.0, 25.0)), White);

  // The bar from 0 to 100, below y = 0, with upward ticks at both ends.
  const double textHeight = Form->RenderThread2D()->GetGeometry().YUnits(1.0);
  int barRow = -1;
  for (int row = ToPixel(50.0, 0.0).y(); row < Picture.height() && barRow < 0; ++row)
    if (At({ToPixel(50.0, 0.0).x(), row}) == Black)
      barRow = row;
  ASSERT_GT(barRow, ToPixel(0.0, 20.0).y());
  EXPECT_GT(textHeight, 0.0);
  for (double x : {1.0, 30.0, 70.0, 99.0})
    EXPECT_EQ(At({ToPixel(x, 0.0).x(), barRow}), Black) << "bar at " << x;
  EXPECT_EQ(At({ToPixel(-3.0, 0.0).x(), barRow}), White);
  EXPECT_EQ(At({ToPixel(0.0, 0.0).x(), barRow - 3}), Black) << "left tick";
  EXPECT_EQ(At({ToPixel(50.0, 0.0).x(), barRow - 3}), White);
}

TEST_F(Show2D, ThePaletteBarComesBackWhereItWasAndTheMenuMovesIt) {
  TOptions &settings = TOptions::Instance();
  settings.Graphics2D.ShowPalette = true;
  settings.Graphics2D.PaletteLeft = 100;
  settings.Graphics2D.PaletteTop = 100;
  Open();
  EXPECT_DOUBLE_EQ(Geometry.ViewLeft, -140.0 * 80 / 500) << "the left margin makes room";
  // Six boxes 15 pixels wide stack upward from (100, 100), lowest colour first.
  const TRgbBytes expected[] = {{0, 0, 0},   {150, 0, 150},  {0, 0, 255},
                                {0, 230, 0}, {214, 167, 57}, {255, 0, 0}};
  EXPECT_EQ(At({99, 99}), White);
  EXPECT_EQ(At({114, 99}), Black);
  EXPECT_EQ(At({115, 99}), White);
  EXPECT_EQ(At({107, 100}), White);
  std::vector<std::pair<TRgbBytes, int>> runs;
  for (int row = 99; row >= 0 && At({107, row}) != White; --row) {
    if (runs.empty() || runs.back().first != At({107, row}))
      runs.push_back({At({107, row}), 0});
    ++runs.back().second;
  }
  ASSERT_EQ(runs.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(runs[i].first, expected[i]) << "box " << i;
    EXPECT_NEAR(runs[i].second, runs[0].second, 1) << "box " << i;
  }
  // Labels to the right of the boxes.
  bool ink = false;
  for (int x = 118; x < 160; ++x)
    ink = ink || At({x, 99 - runs[0].second / 2}) == Black;
  EXPECT_TRUE(ink);

  ChooseFromMenu({120, 200}, "HidePaletteMenuItem");
  Redraw();
  EXPECT_FALSE(settings.Graphics2D.ShowPalette);
  EXPECT_DOUBLE_EQ(Geometry.ViewLeft, -140.0 * 30 / 500);
  EXPECT_EQ(At({107, 95}), White);

  ChooseFromMenu({120, 200}, "ShowPaletteMenuItem");
  Redraw();
  EXPECT_TRUE(settings.Graphics2D.ShowPalette);
  EXPECT_EQ(settings.Graphics2D.PaletteLeft, 120);
  EXPECT_EQ(settings.Graphics2D.PaletteTop, 200);
  EXPECT_DOUBLE_EQ(Geometry.ViewLeft, -140.0 * 80 / 500);
  EXPECT_EQ(At({120, 199}), Black);
  EXPECT_EQ(At({119, 199}), White);
}

TEST_F(Show2D, AOneColourPaletteHasOneBoxLabelledWithItsMinimum) {
  TOptions::Instance().Graphics2D.ShowPalette = true;
  Open();
  const QString file = Dir.filePath("one.ncm");
  QFile palette(file);
  ASSERT_TRUE(palette.open(QIODevice::WriteOnly));
  palette.write("255 0 255\n");
  palette.close();
  Context->Palette.LoadFromFile(file.toStdString());
  Context->Data.RecolorCurrentFrame();
  Form->RenderThread2D()->Invalidate();
  Redraw();
  // The one box at the default anchor (100, 100), then white above it.
  EXPECT_EQ(At({107, 99}), Magenta);
  int height = 0;
  while (At({107, 99 - height}) == Magenta)
    ++height;
  EXPECT_EQ(At({107, 99 - height}), White);
}

TEST_F(Show2D, ClicksAnswerInEveryMode) {
  Open();
  struct TCase {
    int Mode;
    double X, Y;
    std::string Message;
  };
  const std::vector<TCase> cases{
      {0, 5.0, 70.0, "Point coordinates: soma(0)"},
      {2, 75.0, 50.0, "Distance from root (left): 50.000 um"},
      {3, 75.0, 50.0, "Distance from root (right): 100.000 um"},
      {4, 105.0, 40.0, "Diameter(s): 2.000, 1.750 um"},
      {4, 5.0, 70.0, "Diameter(s): 1.000 um"},
      {5, 25.0, 50.0, "Value of variable: -20.000 mV"},
      // Where dend ends and a starts, the later section's first segment.
      {0, 100.0, 50.0, "Point coordinates: a(0)"},
      // Background and connection lines answer nothing.
      {0, 60.0, 30.0, ""},
      {0, 100.0, 45.0, ""},
      {0, -5.0, 50.0, ""},
  };
  for (const TCase &c : cases)
    EXPECT_EQ(Click(c.X, c.Y, c.Mode), c.Message)
        << "mode " << c.Mode << " at " << c.X << ", " << c.Y;
  EXPECT_EQ(Click(60.0, 30.0), "");
  EXPECT_EQ(Form->GetSelectionResult()[0], 0) << "background: no item";
  // A right click only opens the menu.
  Messages.clear();
  QTest::mouseClick(Form->DisplayPanel(), Qt::RightButton, {}, ToPixel(5.0, 70.0));
  EXPECT_TRUE(Messages.empty());
}

TEST_F(Show2D, AddingToFtHandsTheAddressOverAndMarksThePoint) {
  TOptions::Instance().Graphics2D.ShowPoints = true;
  Open();
  // Segment 2 of the second section of the third item.
  EXPECT_EQ(Click(100.0, 20.0, 1), "Point axon2(2) has been added to F(t)");
  ASSERT_EQ(Context->Points.size(), 1u);
  const TSelectedPointInfo &point = *Context->Points.front();
  EXPECT_EQ((std::array{point.Item, point.SectionInItem, point.SegmentInSection}),
            (std::array{2, 1, 2}));
  EXPECT_EQ(point.Name, "axon2(2)");
  EXPECT_EQ(Form->GetQueryValueText(), "2, 1, 2");

  // The marker in the point's colour at the middle of its segment.
  Context->Points.front()->Color = 0xFF00FF;
  Redraw();
  EXPECT_TRUE(HasColorNear(97.5, 20.0, Magenta));
  // Gone with its item, back with it.
  Context->Data.GetItemChecked()[2] = 0;
  Form->UpdateLayout();
  Redraw();
  EXPECT_FALSE(PictureHolds(Magenta));
  EXPECT_EQ(Form->GetTotalHeight(), 50.0);
  Context->Data.GetItemChecked()[2] = 1;
  Form->UpdateLayout();
  Redraw();
  EXPECT_TRUE(HasColorNear(97.5, 20.0, Magenta));
  // Hidden and shown by the menu, which keeps the setting and its caption.
  ChooseFromMenu({10, 10}, "ShowHidePointsMenuItem");
  Redraw();
  EXPECT_FALSE(TOptions::Instance().Graphics2D.ShowPoints);
  EXPECT_EQ(Form->findChild<QAction *>("ShowHidePointsMenuItem")->text(), "Show points");
  EXPECT_FALSE(PictureHolds(Magenta));
  ChooseFromMenu({10, 10}, "ShowHidePointsMenuItem");
  Redraw();
  EXPECT_EQ(Form->findChild<QAction *>("ShowHidePointsMenuItem")->text(), "Hide points");
  EXPECT_TRUE(HasColorNear(97.5, 20.0, Magenta));
}

TEST_F(Show2D, TheModeMenuChecksExactlyTheCurrentMode) {
  TOptions &settings = TOptions::Instance();
  settings.Graphics2D.SelectPointMode = 4;
  Open();
  const auto checked = [&] {
    std::vector<std::string> names;
    for (QAction *action : Form->findChildren<QAction *>())
      if (action->isCheckable() && action->isChecked())
        names.push_back(action->objectName().toStdString());
    return names;
  };
  EXPECT_EQ(checked(), std::vector<std::string>{"ShowDiameterMenuItem"});
  EXPECT_EQ(Form->RenderThread2D()->GetSelectPointMode(), 4);
  ChooseFromMenu({10, 10}, "ShowCoordinatesMenuItem");
  EXPECT_EQ(checked(), std::vector<std::string>{"ShowCoordinatesMenuItem"});
  EXPECT_EQ(settings.Graphics2D.SelectPointMode, 0);
  EXPECT_EQ(Click(5.0, 70.0), "Point coordinates: soma(0)");
  ChooseFromMenu({10, 10}, "ShowValueMenuItem");
  EXPECT_EQ(checked(), std::vector<std::string>{"ShowValueMenuItem"});
  EXPECT_EQ(settings.Graphics2D.SelectPointMode, 5);
}

TEST_F(Show2D, MoreThanThreeHitsAreMoreThanOnePoint) {
  // Eight segments in less than three pixels.
  Open({StraightSection("soma", -1, 0.5, 8)}, {{0.0, 0, 0, 0, 0, 0, 0, 0, 0}});
  EXPECT_EQ(Click(0.25, 20.0), "More than one point was selected");
  EXPECT_EQ(Form->GetSelectionResult(), (TSelectionResult{-1, -1, -1}));
}

TEST_F(Show2D, WithEveryItemUncheckedOnlyTheBackgroundFollowsTheFrames) {
  std::vector<double> second{1.5};
  second.insert(second.end(), Values.begin(), Values.end());
  std::vector<double> first{0.5};
  first.insert(first.end(), Values.begin(), Values.end());
  Open(Tree, {first, second});
  for (int i = 0; i < 3; ++i)
    Context->Data.GetItemChecked()[i] = 0;
  Form->UpdateLayout();
  EXPECT_EQ(Form->GetTotalHeight(), 0.0);
  EXPECT_EQ(Form->GetDistanceMax(), 100.0);
  Redraw();
  EXPECT_EQ(Context->Data.StepForward(0), 1.5);
  ASSERT_TRUE(WaitUntil([&] { return Form->GetLastDrawnTime() == 1.5; }));
  Redraw();
  for (const TRgbBytes &color : {Black, Context->ColorOf(-20.0)})
    EXPECT_FALSE(PictureHolds(color));
  EXPECT_EQ(Click(5.0, 0.0), "");
  EXPECT_EQ(Form->GetSelectionResult()[0], 0);
}

TEST_F(Show2D, F1AsksForHelpAndCtrlF1ForTheAboutWindow) {
  Open();
  QTest::keyClick(Form.get(), Qt::Key_F1);
  QTest::keyClick(Form.get(), Qt::Key_F1, Qt::ControlModifier);
  EXPECT_EQ(Context->HelpRequests, (std::vector<bool>{false, true}));
}

} // namespace
