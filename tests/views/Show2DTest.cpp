#include "ViewTestData.h"
#include "ViewWindowTest.h"

#include "render/GlyphFont.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show2D.h"
#include "views/Show2DThread.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace {

const TRgbBytes Black{0, 0, 0};
const TRgbBytes White{255, 255, 255};
const TRgbBytes Magenta{255, 0, 255};
const TRgbBytes Cyan{0, 255, 255};

// Item 0: the soma (row 70). Item 1: dend and a on row 50, b (tapered) on row
// 40, its connection at x = 100. Item 2: axon and axon2 on row 20.
const std::vector<TNeuronDataWriter::TSection> Tree{
    StraightSection("soma", -1, 10, 1), StraightSection("dend", 0, 100, 2),
    StraightSection("a", 1, 40, 1),     TaperedSection("b", 1, 40, 4, 2.0, 1.0),
    StraightSection("axon", 0, 60, 3),  StraightSection("axon2", 4, 45, 3)};
const std::vector<double> Values{-40, -20, 0, 20, 45, -40, -20, 0, 20, 0, -20, -40, 20, 45};

std::vector<double> Frame(double time) {
  std::vector<double> frame{time};
  frame.insert(frame.end(), Values.begin(), Values.end());
  return frame;
}

// A shown 500 x 400 2D window, the messages its clicks show, its picture and
// the mapping of data coordinates to its pixels.
class Show2D : public ::testing::Test {
protected:
  void SetUp() override { TOptions::ReleaseInstance(); }

  void Open(const std::vector<TNeuronDataWriter::TSection> &sections = Tree,
            const std::vector<std::vector<double>> &frames = {Frame(0.5)}) {
    Context = std::make_unique<TTestViewContext>(WriteDataFile(Dir, "view.dat", sections, frames));
    Form = std::make_unique<TShow2DForm>(*Context);
    Form->SetSelectedPoints(Context->Points);
    ASSERT_TRUE(ShowViewWindow(*Form, 500, 400));
    Redraw();
  }

  // Waits for two more frames, so that one was drawn wholly after a change.
  void Redraw() {
    ASSERT_TRUE(WaitForFrames(*Form, 2));
    Picture = Form->DisplayPanel()->grabFramebuffer();
    Geometry = Form->RenderThread2D()->GetGeometry();
  }

  QPoint ToPixel(double x, double y) const { return DataPixel(Geometry, Picture, x, y); }

  TRgbBytes At(QPoint p) const { return Rgb(Picture.valid(p) ? Picture.pixel(p) : 0); }

  // The colour at (x, y) or a pixel above or below it, within tolerance.
  bool HasColorNear(double x, double y, const TRgbBytes &color, int tolerance = 0) const {
    for (int dy = -1; dy <= 1; ++dy) {
      const TRgbBytes found = At(ToPixel(x, y) + QPoint(0, dy));
      if (std::abs(found[0] - color[0]) + std::abs(found[1] - color[1]) +
              std::abs(found[2] - color[2]) <=
          tolerance)
        return true;
    }
    return false;
  }

  // Clicks at (x, y), in mode unless -1; the message shown, "" for none.
  std::string Click(double x, double y, int mode = -1) {
    if (mode >= 0)
      Form->RenderThread2D()->SetSelectPointMode(mode);
    Messages.clear();
    QTest::mouseClick(Form->DisplayPanel(), Qt::LeftButton, {}, ToPixel(x, y));
    EXPECT_LE(Messages.size(), 1u);
    return Messages.empty() ? "" : Messages.back();
  }

  // Clicks at (x, y) as the X server delivers a user's click; the message
  // shown, "" when none came in time.
  std::string ServerClick(double x, double y, int timeoutMs = 5000) {
    const QPoint at = Form->DisplayPanel()->mapToGlobal(ToPixel(x, y));
    Messages.clear();
    EXPECT_EQ(QProcess::execute("xdotool", {"mousemove", "--sync", QString::number(at.x()),
                                            QString::number(at.y()), "click", "1"}),
              0);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !Messages.empty(); }, timeoutMs));
    return Messages.empty() ? "" : Messages.back();
  }

  // Opens the context menu at a panel point and chooses one of its items.
  void ChooseFromMenu(QPoint at, const char *item) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, Form->DisplayPanel()->mapToGlobal(at));
    QCoreApplication::sendEvent(Form->DisplayPanel(), &event);
    auto *menu = Form->findChild<QMenu *>("PopupMenu");
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    Form->findChild<QAction *>(item)->trigger();
    menu->close();
  }

  void TearDown() override {
    SavePictureOfFailure(Picture, "2d");
    Form.reset();
    TOptions::ReleaseInstance();
  }

  QTemporaryDir Dir;
  std::unique_ptr<TTestViewContext> Context;
  std::unique_ptr<TShow2DForm> Form;
  QImage Picture;
  TViewGeometry Geometry;
  std::vector<std::string> Messages;
  TScopedMessageBoxHandler Handler{[this](QWidget *, const QString &caption, const QString &text,
                                          QMessageBox::Icon icon, QMessageBox::StandardButtons) {
    EXPECT_EQ(caption, Form->windowTitle());
    EXPECT_EQ(icon, QMessageBox::Information);
    Messages.push_back(text.toStdString());
    return QMessageBox::Ok;
  }};
};

TEST_F(Show2D, DrawsTheRowsInTheFramesColoursWithBlackConnectionsAndTheScaleBar) {
  Open();
  // Margins of 30 pixels' worth left, right and top, 40 at the bottom.
  EXPECT_DOUBLE_EQ(Geometry.ViewLeft, -140.0 * 30 / 500);
  EXPECT_DOUBLE_EQ(Geometry.ViewRight, 140.0 + 140.0 * 30 / 500);
  EXPECT_DOUBLE_EQ(Geometry.ViewBottom, -70.0 * 40 / 400);
  EXPECT_DOUBLE_EQ(Geometry.ViewTop, 70.0 + 70.0 * 30 / 400);

  const auto color = [&](int segment) { return Context->ColorOf(Values[segment]); };
  // dend's first segment blends into its second, which keeps its own colour.
  const TRgbBytes a = color(1), b = color(2);
  EXPECT_TRUE(
      HasColorNear(25.0, 50.0, {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2}, 60));
  // One-segment sections are one colour from end to end.
  for (auto [x, y, segment] : std::vector<std::tuple<double, double, int>>{
           {55, 50, 2}, {97, 50, 2}, {102, 50, 3}, {138, 50, 3}, {1, 70, 0}, {9, 70, 0}})
    EXPECT_TRUE(HasColorNear(x, y, color(segment))) << "at " << x << ", " << y;
  EXPECT_EQ(At(ToPixel(60.0, 30.0)), White) << "between the rows";

  // b's connection from row 50 down to row 40; none where axon2 continues axon.
  EXPECT_TRUE(At(ToPixel(100.0, 45.0)) == Black ||
              At(ToPixel(100.0, 45.0) + QPoint(-1, 0)) == Black);
  EXPECT_EQ(At(ToPixel(60.0, 25.0)), White);

  // The scale bar: 0 to 100 below y = 0, upward ticks at its ends.
  int bar = ToPixel(50.0, 0.0).y();
  while (bar < Picture.height() && At({ToPixel(50.0, 0.0).x(), bar}) != Black)
    ++bar;
  ASSERT_LT(bar, Picture.height());
  for (double x : {1.0, 99.0})
    EXPECT_EQ(At({ToPixel(x, 0.0).x(), bar}), Black) << "bar at " << x;
  EXPECT_EQ(At({ToPixel(-3.0, 0.0).x(), bar}), White);
  EXPECT_EQ(At({ToPixel(0.0, 0.0).x(), bar - 3}), Black) << "left tick";
}

// Distances beyond a float's range are drawn relative to the window: the
// rows lie where they lie at ordinary size, and a user's click finds its point.
TEST_F(Show2D, AModelBeyondTheRangeOfAFloatIsDrawnAndPicked) {
  const double k = 1e300;
  std::vector<TNeuronDataWriter::TSection> tree = Tree;
  for (TNeuronDataWriter::TSection &section : tree) {
    for (auto &point : section.Points)
      point.X *= k;
    // As the file stores it (the squares of the steps overflow a double).
    section.Length *= k;
  }
  Open(tree);
  const auto color = [&](int segment) { return Context->ColorOf(Values[segment]); };
  for (auto [x, y, segment] : std::vector<std::tuple<double, double, int>>{
           {55, 50, 2}, {102, 50, 3}, {138, 50, 3}, {1, 70, 0}, {9, 70, 0}})
    EXPECT_TRUE(HasColorNear(x * k, y, color(segment))) << "at " << x << ", " << y;
  EXPECT_EQ(At(ToPixel(60 * k, 30.0)), White) << "between the rows";
  Form->RenderThread2D()->SetSelectPointMode(0);
  EXPECT_EQ(ServerClick(5 * k, 70), "Point coordinates: soma(0)");
  EXPECT_EQ(ServerClick(102 * k, 50), "Point coordinates: a(0)");
}

// "100 um" right of the scale bar: ink of "100", a blank as wide as the
// font's, ink of "um", as wide in all as the font measures the text.
TEST_F(Show2D, TheScaleLabelKeepsItsBlank) {
  Open();
  const TGlyphFont font("Arial", 12);
  const int blank = font.TextWidth(" ");
  ASSERT_GE(blank, 2);
  const QPoint end = ToPixel(100.0, 0.0);
  std::vector<int> inked;
  for (int x = end.x() + 2; x < Picture.width(); ++x) {
    bool ink = false;
    for (int y = end.y() - 1; y < Picture.height() && !ink; ++y)
      ink = At({x, y}) == Black;
    if (ink)
      inked.push_back(x);
  }
  ASSERT_FALSE(inked.empty());
  int gap = 0;
  for (std::size_t i = 1; i < inked.size(); ++i)
    gap = std::max(gap, inked[i] - inked[i - 1] - 1);
  const int span = inked.back() - inked.front() + 1;
  EXPECT_GE(gap, blank);
  EXPECT_GT(span, font.TextWidth("100um"));
  EXPECT_LE(span, font.TextWidth("100 um"));
}

TEST_F(Show2D, ThePaletteBarComesBackWhereItWasAndTheMenuMovesIt) {
  TOptions::TGraphics2DSettings &settings = TOptions::Instance().Graphics2D;
  settings.ShowPalette = true;
  Open();
  EXPECT_DOUBLE_EQ(Geometry.ViewLeft, -140.0 * 80 / 500) << "the left margin makes room";
  // Six boxes 15 pixels wide stack upward from (100, 100), lowest colour first.
  EXPECT_EQ(At({99, 99}), White);
  EXPECT_EQ(At({114, 99}), Black);
  EXPECT_EQ(At({115, 99}), White);
  EXPECT_EQ(At({107, 100}), White);
  std::vector<std::pair<TRgbBytes, int>> boxes;
  for (int row = 99; row >= 0 && At({107, row}) != White; --row) {
    if (boxes.empty() || boxes.back().first != At({107, row}))
      boxes.push_back({At({107, row}), 0});
    ++boxes.back().second;
  }
  const std::vector<TRgbBytes> palette{{0, 0, 0},   {150, 0, 150},  {0, 0, 255},
                                       {0, 230, 0}, {214, 167, 57}, {255, 0, 0}};
  ASSERT_EQ(boxes.size(), palette.size());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].first, palette[i]) << "box " << i;
    EXPECT_EQ(boxes[i].second, boxes[0].second) << "box " << i;
  }

  ChooseFromMenu({120, 200}, "HidePaletteMenuItem");
  Redraw();
  EXPECT_FALSE(settings.ShowPalette);
  EXPECT_DOUBLE_EQ(Geometry.ViewLeft, -140.0 * 30 / 500);
  EXPECT_EQ(At({107, 95}), White);

  ChooseFromMenu({120, 200}, "ShowPaletteMenuItem");
  Redraw();
  EXPECT_EQ(std::tuple(settings.ShowPalette, settings.PaletteLeft, settings.PaletteTop),
            std::tuple(true, 120, 200));
  EXPECT_EQ(At({120, 199}), Black);
  EXPECT_EQ(At({119, 199}), White);
}

TEST_F(Show2D, AOneColourPaletteIsOneBox) {
  TOptions::Instance().Graphics2D.ShowPalette = true;
  Open();
  QFile palette(Dir.filePath("one.ncm"));
  ASSERT_TRUE(palette.open(QIODevice::WriteOnly));
  palette.write("255 0 255\n");
  palette.close();
  Context->Palette.LoadFromFile(palette.fileName().toStdString());
  Context->Data.RecolorCurrentFrame();
  Form->RenderThread2D()->Invalidate();
  Redraw();
  int height = 0;
  while (At({107, 99 - height}) == Magenta)
    ++height;
  EXPECT_GT(height, 5);
  EXPECT_EQ(At({107, 99 - height}), White);
}

TEST_F(Show2D, ClicksAnswerInTheModeTheMenuChecks) {
  Open();
  const std::vector<std::tuple<int, double, double, std::string>> cases{
      {0, 5, 70, "Point coordinates: soma(0)"},
      {2, 75, 50, "Distance from root (left): 50.000 um"},
      {3, 75, 50, "Distance from root (right): 100.000 um"},
      {4, 105, 40, "Diameter(s): 2.000, 1.750 um"},
      {4, 5, 70, "Diameter(s): 1.000 um"},
      {5, 25, 50, "Value of variable: -20.000 mV"},
      // Where dend ends and a starts: the later section's first segment.
      {0, 100, 50, "Point coordinates: a(0)"},
      // Background and connection lines answer nothing.
      {0, 60, 30, ""},
      {0, 100, 45, ""},
  };
  for (const auto &[mode, x, y, message] : cases)
    EXPECT_EQ(Click(x, y, mode), message) << "mode " << mode << " at " << x << ", " << y;
  EXPECT_EQ(Form->GetSelectionResult()[1], 0) << "a connection line names no section";
  QTest::mouseClick(Form->DisplayPanel(), Qt::RightButton, {}, ToPixel(5.0, 70.0));
  EXPECT_TRUE(Messages.empty());

  // The menu checks exactly the mode chosen, and keeps it in the settings.
  ChooseFromMenu({10, 10}, "ShowDiameterMenuItem");
  std::vector<QString> checked;
  for (QAction *action : Form->findChildren<QAction *>())
    if (action->isChecked())
      checked.push_back(action->objectName());
  EXPECT_EQ(checked, std::vector<QString>{"ShowDiameterMenuItem"});
  EXPECT_EQ(TOptions::Instance().Graphics2D.SelectPointMode, 4);
  EXPECT_EQ(Click(5.0, 70.0), "Diameter(s): 1.000 um");
}

TEST_F(Show2D, AddingToFtHandsTheAddressOverAndMarksThePoint) {
  TOptions::Instance().Graphics2D.ShowPoints = true;
  Open();
  // Segment 2 of the second section of the third item.
  EXPECT_EQ(Click(100.0, 20.0, 1), "Point axon2(2) has been added to F(t)");
  ASSERT_EQ(Context->Points.size(), 1u);
  TSelectedPointInfo &point = *Context->Points.front();
  EXPECT_EQ(std::tuple(point.Item, point.SectionInItem, point.SegmentInSection, point.Name),
            std::tuple(2, 1, 2, std::string("axon2(2)")));
  EXPECT_EQ(Form->GetQueryValueText(), "2, 1, 2");

  point.Color = 0x00FFFF;
  Redraw();
  EXPECT_TRUE(HasColorNear(97.5, 20.0, Cyan));
  // Gone with its item, back with it, and hidden by the menu.
  for (std::uint8_t checked : {0, 1}) {
    Context->Data.GetItemChecked()[2] = checked;
    Form->UpdateLayout();
    Redraw();
    EXPECT_EQ(Form->GetTotalHeight(), checked ? 70.0 : 50.0);
    EXPECT_EQ(HasColorNear(97.5, 20.0, Cyan), checked == 1);
    EXPECT_EQ(PictureHolds(Picture, Cyan), checked == 1);
  }
  ChooseFromMenu({10, 10}, "ShowHidePointsMenuItem");
  Redraw();
  EXPECT_FALSE(TOptions::Instance().Graphics2D.ShowPoints);
  EXPECT_EQ(Form->findChild<QAction *>("ShowHidePointsMenuItem")->text(), "Show points");
  EXPECT_FALSE(PictureHolds(Picture, Cyan));
}

TEST_F(Show2D, MoreThanThreeHitsAreMoreThanOnePoint) {
  // Eight segments in less than three pixels.
  Open({StraightSection("soma", -1, 0.5, 8)}, {{0.0, 0, 0, 0, 0, 0, 0, 0, 0}});
  EXPECT_EQ(Click(0.25, 20.0), "More than one point was selected");
  EXPECT_EQ(Form->GetSelectionResult(), (TSelectionResult{-1, -1, -1}));
}

// Far more hit records under the click than a first selection buffer holds,
// in the first pass (100,000 items) and in the last (a million segments):
// the click, as the X server delivers it, still gets its answer.
TEST_F(Show2D, AClickOnADenseDendrogramStillGetsItsAnswer) {
  TNeuronDataWriter::TSection line;
  line.Name = "soma";
  line.SegmentCount = 1000000;
  line.Points = {{0.0, 0.0, 0.0, 1.0}, {1e6, 0.0, 0.0, 1.0}};
  line.Length = 1e6;
  std::vector<TNeuronDataWriter::TSection> bush{StraightSection("soma", -1, 10, 1)};
  for (int i = 1; i < 100000; ++i)
    bush.push_back(StraightSection("d" + std::to_string(i), 0, 10, 1));
  struct TCase {
    std::vector<TNeuronDataWriter::TSection> Sections;
    int Segments;
    double X;
  };
  for (const TCase &c : {TCase{{line}, 1000000, 5e5}, TCase{bush, 100000, 5.0}}) {
    Open(c.Sections, {std::vector<double>(static_cast<std::size_t>(c.Segments) + 1, 0.0)});
    ServerClick(c.X, c.Segments == 100000 ? Form->GetTotalHeight() / 2 : 20.0, 30000);
    EXPECT_EQ(Messages, std::vector<std::string>{"More than one point was selected"});
    EXPECT_EQ(Form->GetSelectionResult(), (TSelectionResult{-1, -1, -1}));
    Form.reset();
  }
}

TEST_F(Show2D, WithEveryItemUncheckedOnlyTheBackgroundFollowsTheFrames) {
  Open(Tree, {Frame(0.5), Frame(1.5)});
  for (int i = 0; i < 3; ++i)
    Context->Data.GetItemChecked()[i] = 0;
  Form->UpdateLayout();
  EXPECT_EQ(std::pair(Form->GetTotalHeight(), Form->GetDistanceMax()), std::pair(0.0, 100.0));
  EXPECT_EQ(Context->Data.StepForward(0), 1.5);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->GetLastDrawnTime() == 1.5; }));
  Redraw();
  EXPECT_FALSE(PictureHolds(Picture, Black));
  EXPECT_FALSE(PictureHolds(Picture, Context->ColorOf(-20.0)));
  QTest::mouseClick(Form->DisplayPanel(), Qt::LeftButton, {}, {250, 200});
  EXPECT_TRUE(Messages.empty());
}

} // namespace
