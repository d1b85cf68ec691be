#include "ViewTestData.h"
#include "ViewWindowTest.h"
#include "X11TestSupport.h"

#include "render/GlyphFont.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show3D.h"
#include "views/Show3DThread.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace {

const TRgbBytes White{255, 255, 255};
const TRgbBytes Black{0, 0, 0};
const TRgbBytes Red{255, 0, 0};
const TRgbBytes Green{0, 128, 0};

// One segment through the points (x, y, z, diameter).
TNeuronDataWriter::TSection Section(const std::string &name, int parent,
                                    std::vector<TNeuronDataWriter::TPoint> points) {
  TNeuronDataWriter::TSection section;
  section.Name = name;
  section.Parent = parent;
  section.Points = std::move(points);
  section.Length = TNeuronDataWriter::PathLength(section.Points);
  return section;
}

// A model 200 units wide and 100 high: a horizontal section along y = 0 and
// a vertical one up from its middle, coloured by -70 and 30.
const std::vector<TNeuronDataWriter::TSection> Tee{
    Section("soma", -1, {{0, 0, 0, 10}, {200, 0, 0, 10}}),
    Section("dend", 0, {{100, 0, 0, 4}, {100, 100, 0, 4}})};
const std::vector<std::vector<double>> TeeFrame{{0.0, -70.0, 30.0}};

// A shown 3D window on a test context, with its picture and the mapping of
// eye coordinates to its pixels.
class Show3D : public ::testing::Test {
protected:
  void SetUp() override { TOptions::ReleaseInstance(); }

  void Open(const std::vector<TNeuronDataWriter::TSection> &sections,
            const std::vector<std::vector<double>> &frames) {
    Context = std::make_unique<TTestViewContext>(WriteDataFile(Dir, "view.dat", sections, frames));
    Form = std::make_unique<TShow3DForm>(*Context);
    ASSERT_TRUE(ShowViewWindow(*Form, 400, 300));
    ASSERT_GE(Form->GetLastDrawnTime(), 0.0);
    Redraw();
  }

  TOpenGLThread3D *Thread() const { return Form->RenderThread3D(); }
  QWidget *Panel() const { return Form->DisplayPanel(); }

  // Waits for a frame drawn after the last change (they all run on this thread).
  void Redraw() {
    ASSERT_TRUE(WaitForFrames(*Form, 1));
    Picture = Form->DisplayPanel()->grabFramebuffer();
    Geometry = Thread()->GetGeometry();
  }

  QPoint ToPixel(double x, double y) const { return DataPixel(Geometry, Picture, x, y); }

  TRgbBytes At(QPoint p) const { return Picture.valid(p) ? Rgb(Picture.pixel(p)) : White; }

  // The colour at the pixel or one of its eight neighbours: a line's pixels
  // depend on rounding.
  bool HasColorNear(QPoint p, const TRgbBytes &color) const {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (At(p + QPoint(dx, dy)) == color)
          return true;
    return false;
  }
  bool HasColorNear(double x, double y, const TRgbBytes &color) const {
    return HasColorNear(ToPixel(x, y), color);
  }

  int CountColor(const TRgbBytes &color) const {
    int count = 0;
    for (int y = 0; y < Picture.height(); ++y)
      for (int x = 0; x < Picture.width(); ++x)
        count += Rgb(Picture.pixel(x, y)) == color;
    return count;
  }

  // The length of the run of the colour through p along a column.
  int RunHeight(QPoint p, const TRgbBytes &color) const {
    int top = p.y();
    int bottom = p.y();
    while (At({p.x(), top - 1}) == color)
      --top;
    while (At({p.x(), bottom + 1}) == color)
      ++bottom;
    return At(p) == color ? bottom - top + 1 : 0;
  }

  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, int times = 1) {
    for (int i = 0; i < times; ++i)
      QTest::keyClick(Form.get(), key, modifiers);
  }

  void Mouse(QEvent::Type type, QPoint position, Qt::MouseButton button, Qt::MouseButtons buttons,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, position, Panel()->mapToGlobal(position), button, buttons, modifiers);
    QCoreApplication::sendEvent(Panel(), &event);
  }

  // Opens the context menu at a panel point, chooses an item, closes the menu.
  void Choose(const char *item, QPoint at = {60, 60}) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, Panel()->mapToGlobal(at));
    QCoreApplication::sendEvent(Panel(), &event);
    QAction *action = Form->findChild<QAction *>(item);
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
    Form->PopupMenu().close();
  }

  bool Checked(const char *item) const { return Form->findChild<QAction *>(item)->isChecked(); }

  std::array<double, 3> Rotation() const { return Thread()->Transform().Rotation(); }

  void TearDown() override {
    SavePictureOfFailure(Picture, "3d");
    Form.reset();
    TOptions::ReleaseInstance();
  }

  QTemporaryDir Dir;
  std::unique_ptr<TTestViewContext> Context;
  std::unique_ptr<TShow3DForm> Form;
  QImage Picture;
  TViewGeometry Geometry;
};

TEST_F(Show3D, SegmentsAreDrawnInTheirColoursFittedAndCentred) {
  Open(Tee, TeeFrame);
  EXPECT_EQ(Form->windowTitle().toStdString(), TOptions::Instance().Graphics3D.Title);
  EXPECT_TRUE(Form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  // 200 x 100 in 400 x 300: 1.5 pixels per unit, the box's centre in the middle.
  EXPECT_NEAR(Geometry.XPixels(100.0), 150, 1);
  EXPECT_NEAR(Geometry.YPixels(100.0), 150, 1);
  EXPECT_NEAR(ToPixel(100.0, 50.0).x(), 200, 1);
  EXPECT_NEAR(ToPixel(100.0, 50.0).y(), 150, 1);
  const TRgbBytes soma = Context->ColorOf(-70.0);
  const TRgbBytes dendrite = Context->ColorOf(30.0);
  ASSERT_NE(soma, dendrite);
  for (double x : {5.0, 50.0, 150.0, 195.0})
    EXPECT_TRUE(HasColorNear(x, 0.0, soma)) << "soma at " << x;
  for (double y : {10.0, 50.0, 95.0})
    EXPECT_TRUE(HasColorNear(100.0, y, dendrite)) << "dendrite at " << y;
  EXPECT_EQ(At(ToPixel(50.0, 50.0)), White);

  Context->Data.GetItemChecked()[1] = 0;
  Form->UpdateItems();
  Redraw();
  EXPECT_FALSE(HasColorNear(100.0, 50.0, dendrite));
  EXPECT_TRUE(HasColorNear(50.0, 0.0, soma));
}

TEST_F(Show3D, ArrowsMoveTheImageTenUnitsOrOneWithShift) {
  struct TCase {
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    double X;
    double Y;
  };
  Open(Tee, TeeFrame);
  const TRgbBytes dendrite = Context->ColorOf(30.0);
  for (const TCase &c :
       {TCase{Qt::Key_Right, Qt::NoModifier, 10, 0}, TCase{Qt::Key_Left, Qt::ShiftModifier, -1, 0},
        TCase{Qt::Key_Up, Qt::NoModifier, 0, 10}, TCase{Qt::Key_Down, Qt::ShiftModifier, 0, -1}}) {
    Form->ResetView();
    Key(c.Key, c.Modifiers);
    Redraw();
    EXPECT_EQ(Thread()->Transform().TranslationX(), c.X);
    EXPECT_EQ(Thread()->Transform().TranslationY(), c.Y);
    EXPECT_TRUE(HasColorNear(100.0 + c.X, 50.0 + c.Y, dendrite)) << c.Key;
  }
  // Turned and zoomed, the image still moves along the screen by 10 units:
  // the soma (0 .. 200, 0) at 1.5 x turned by 90 degrees runs up from (10, 0).
  Form->ResetView();
  Key(Qt::Key_Z, Qt::ControlModifier, 9);
  Key(Qt::Key_Plus, Qt::KeypadModifier, 5);
  Key(Qt::Key_Right);
  Redraw();
  EXPECT_TRUE(HasColorNear(10.0, 75.0, Context->ColorOf(-70.0)));
  EXPECT_FALSE(HasColorNear(0.0, 75.0, Context->ColorOf(-70.0)));
}

// Zoom by 0.1 (0.01 with Shift) never below the step; turns by 10 degrees
// (1 with Shift), clockwise, counter-clockwise with Ctrl.
TEST_F(Show3D, KeysZoomWithAFloorAndTurn) {
  struct TCase {
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    int Times;
    double Scale;
    std::array<double, 3> Rotation;
  };
  Open(Tee, TeeFrame);
  const Qt::KeyboardModifiers pad = Qt::KeypadModifier;
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
  for (const TCase &c :
       {TCase{Qt::Key_Minus, pad, 12, 0.1, {}}, TCase{Qt::Key_Minus, shift | pad, 200, 0.01, {}},
        TCase{Qt::Key_Plus, pad, 3, 1.3, {}}, TCase{Qt::Key_Plus, shift | pad, 3, 1.03, {}},
        // The main keyboard: "=" and "+" (the Shift typing it is no fine step), "-" and "_".
        TCase{Qt::Key_Equal, Qt::NoModifier, 2, 1.2, {}}, TCase{Qt::Key_Plus, shift, 2, 1.2, {}},
        TCase{Qt::Key_Equal, shift, 2, 1.02, {}}, TCase{Qt::Key_Minus, Qt::NoModifier, 12, 0.1, {}},
        TCase{Qt::Key_Underscore, shift, 2, 0.98, {}},
        TCase{Qt::Key_X, Qt::NoModifier, 1, 1.0, {-10, 0, 0}},
        TCase{Qt::Key_X, ctrl, 1, 1.0, {10, 0, 0}}, TCase{Qt::Key_Y, shift, 1, 1.0, {0, -1, 0}},
        TCase{Qt::Key_Z, shift | ctrl, 1, 1.0, {0, 0, 1}},
        TCase{Qt::Key_A, Qt::NoModifier, 1, 1.0, {}}}) {
    Form->ResetView();
    Key(c.Key, c.Modifiers, c.Times);
    for (double scale : Thread()->Transform().Scale())
      EXPECT_NEAR(scale, c.Scale, 1e-9) << c.Key << " x " << c.Times;
    EXPECT_EQ(Rotation(), c.Rotation) << c.Key;
  }
}

TEST_F(Show3D, DraggingWithTheLeftButtonTurnsShiftSlowerRightNotAtAll) {
  Open(Tee, TeeFrame);
  const Qt::MouseButton left = Qt::LeftButton;
  const Qt::MouseButton right = Qt::RightButton;
  const QEvent::Type press = QEvent::MouseButtonPress;
  const QEvent::Type move = QEvent::MouseMove;
  const QEvent::Type release = QEvent::MouseButtonRelease;

  Mouse(press, {100, 100}, left, left);
  Mouse(move, {130, 90}, Qt::NoButton, left);
  EXPECT_EQ(Rotation(), (std::array<double, 3>{-10, 30, 0}));
  Mouse(move, {140, 110}, Qt::NoButton, left, Qt::ShiftModifier);
  EXPECT_NEAR(Rotation()[0], -8.0, 1e-9);
  EXPECT_NEAR(Rotation()[1], 31.0, 1e-9);
  // The right button's release does not end the left drag.
  Mouse(press, {140, 110}, right, left | right);
  Mouse(release, {140, 110}, right, left);
  Mouse(move, {150, 110}, Qt::NoButton, left);
  EXPECT_NEAR(Rotation()[1], 41.0, 1e-9);
  Mouse(release, {150, 110}, left, Qt::NoButton);
  Mouse(move, {190, 150}, Qt::NoButton, Qt::NoButton);
  EXPECT_NEAR(Rotation()[1], 41.0, 1e-9);

  // A move without the left button ends a drag whose release went elsewhere.
  Form->ResetView();
  Mouse(press, {100, 100}, left, left);
  Mouse(move, {120, 100}, Qt::NoButton, Qt::MiddleButton);
  Mouse(move, {140, 100}, Qt::NoButton, left);
  EXPECT_EQ(Rotation(), (std::array<double, 3>{0, 0, 0}));

  // A right-button drag does not turn.
  Form->ResetView();
  Mouse(press, {100, 100}, right, right);
  Mouse(move, {160, 160}, Qt::NoButton, right);
  Mouse(release, {160, 160}, right, Qt::NoButton);
  EXPECT_EQ(Rotation(), (std::array<double, 3>{0, 0, 0}));
}

TEST_F(Show3D, ADoubleClickOrShowingAgainPutsTheModelBack) {
  Open(Tee, TeeFrame);
  const auto turnMoveAndZoom = [&] {
    Key(Qt::Key_X);
    Key(Qt::Key_Left);
    Key(Qt::Key_Minus, Qt::KeypadModifier);
    ASSERT_NE(Rotation()[0], 0.0);
  };
  const auto expectReset = [&] {
    EXPECT_EQ(Rotation(), (std::array<double, 3>{0, 0, 0}));
    EXPECT_EQ(Thread()->Transform().TranslationX(), 0.0);
    EXPECT_EQ(Thread()->Transform().Scale(), (std::array<double, 3>{1, 1, 1}));
  };
  turnMoveAndZoom();
  QTest::mouseDClick(Panel(), Qt::LeftButton, Qt::NoModifier, {50, 50});
  expectReset();
  Redraw();
  EXPECT_TRUE(HasColorNear(100.0, 50.0, Context->ColorOf(30.0)));

  turnMoveAndZoom();
  Form->close();
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  expectReset();
}

// As the X server delivers it: two clicks 90 ms apart are a double click.
TEST_F(Show3D, ADoubleClickThroughTheXServerPutsTheModelBack) {
  Open(Tee, TeeFrame);
  Key(Qt::Key_X);
  Key(Qt::Key_Minus, Qt::KeypadModifier);
  ASSERT_TRUE(MovePointerTo(*Panel(), {200, 150}));
  ASSERT_TRUE(Xdotool({"click", "--repeat", "2", "--delay", "90", "1"}));
  EXPECT_EQ(Rotation(), (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(Thread()->Transform().Scale(), (std::array<double, 3>{1, 1, 1}));
}

// A left drag through the X server turns the model. Once the context menu or
// another window has taken the pointer or the focus, the panel misses the
// left release: the drag is over, and neither a later middle drag nor a move
// with the left button still down turns.
TEST_F(Show3D, ADragCutShortEnds) {
  struct TCase {
    const char *Name;
    std::function<void()> Interrupt;
    QStringList After;
  };
  Open(Tee, TeeFrame);
  const QPoint origin = Panel()->mapToGlobal(QPoint(100, 100));
  const auto at = [&](int dx, int dy) {
    return QStringList{"mousemove", QString::number(origin.x() + dx),
                       QString::number(origin.y() + dy)};
  };
  const auto openMenu = [&] {
    ASSERT_TRUE(Xdotool({"mousedown", "3", "mouseup", "3"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->PopupMenu().isVisible(); }));
  };
  QWidget other;
  other.setGeometry(1500, 800, 100, 100);
  const auto focusElsewhere = [&] {
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  };
  const QStringList moveHeld = at(60, 60) + at(90, 100) + QStringList{"mouseup", "1"};
  for (const TCase &c : {
           TCase{"left released in the menu, then a middle drag", openMenu,
                 QStringList{"mouseup", "1", "key", "Escape"} + at(60, 60) +
                     QStringList{"mousedown", "2"} + at(90, 100) + QStringList{"mouseup", "2"}},
           TCase{"left still held after the menu", openMenu,
                 QStringList{"key", "Escape"} + moveHeld},
           TCase{"focus taken by another window", focusElsewhere, moveHeld},
       }) {
    SCOPED_TRACE(c.Name);
    Form->ResetView();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    ASSERT_TRUE(Xdotool(at(0, 0) + QStringList{"mousedown", "1"} + at(30, -10)));
    EXPECT_EQ(Rotation(), (std::array<double, 3>{-10, 30, 0}));
    c.Interrupt();
    ASSERT_TRUE(Xdotool(c.After));
    EXPECT_FALSE(Form->PopupMenu().isVisible());
    EXPECT_EQ(Rotation(), (std::array<double, 3>{-10, 30, 0}));
  }
}

// Keys as the X server delivers them on a US layout, where "+" is Shift and
// "=": the main keyboard's "+" and "-" step as the keypad's do.
TEST_F(Show3D, ZoomKeysThroughTheXServer) {
  struct TCase {
    const char *Keys;
    double Scale;
  };
  Open(Tee, TeeFrame);
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  ASSERT_TRUE(MovePointerTo(*Panel(), {200, 150}));
  for (const TCase &c :
       {TCase{"plus", 1.1}, TCase{"equal", 1.1}, TCase{"KP_Add", 1.1}, TCase{"shift+KP_Add", 1.01},
        TCase{"minus", 0.9}, TCase{"shift+minus", 0.99}, TCase{"KP_Subtract", 0.9},
        TCase{"shift+KP_Subtract", 0.99}}) {
    Form->ResetView();
    ASSERT_TRUE(Xdotool({"key", c.Keys}));
    for (double scale : Thread()->Transform().Scale())
      EXPECT_NEAR(scale, c.Scale, 1e-9) << c.Keys;
  }
}

TEST_F(Show3D, DiameterBandsAreAsWideAsTheDiametersWhateverTheTurn) {
  TOptions::Instance().Graphics3D.ShapeStyle = TOpenGLThread3D::Diameter;
  // Along x at 1.5 pixels per unit: diameter 20 is a band 30 pixels high; a
  // band narrower than a pixel still shows as a line.
  for (const auto &[diameter, pixels] : {std::pair{20.0, 30}, std::pair{0.2, 1}}) {
    SCOPED_TRACE(diameter);
    Open({Section("soma", -1, {{0, 0, 0, diameter}, {200, 0, 0, diameter}})}, {{0.0, 0.0}});
    const TRgbBytes color = Context->ColorOf(0.0);
    const auto height = [&](double x) {
      const QPoint p = ToPixel(x, 0.0);
      int best = 0;
      for (int dy = -1; dy <= 1; ++dy)
        best = std::max(best, RunHeight(p + QPoint(0, dy), color));
      EXPECT_GE(best, std::max(1, pixels - 2)) << "at " << x;
      EXPECT_LE(best, pixels + 2) << "at " << x;
    };
    height(100.0);
    height(20.0);
    // Turned about X the band still faces the screen, as wide as before.
    Key(Qt::Key_X, Qt::NoModifier, 6);
    Redraw();
    height(100.0);
    // Turned about Y towards the viewer, the piece gets shorter, not thinner.
    Key(Qt::Key_Y, Qt::NoModifier, 6);
    Redraw();
    height(50.0);
    EXPECT_EQ(At(ToPixel(150.0, 0.0)), White);
    Form.reset();
  }
}

// With every coordinate positive (a reconstruction not centred on the
// soma) nothing is cut away in depth, in either style or at any turn.
TEST_F(Show3D, AModelAwayFromTheOriginIsFullyVisibleInBothStyles) {
  const auto sections = std::vector{Section("soma", -1, {{100, 200, 50, 6}, {300, 200, 150, 6}}),
                                    Section("dend", 0, {{300, 200, 150, 2}, {300, 300, 100, 2}})};
  for (const int style : {TOpenGLThread3D::Wire, TOpenGLThread3D::Diameter}) {
    TOptions::Instance().Graphics3D.ShapeStyle = style;
    Open(sections, {{0.0, -70.0, 30.0}});
    const TRgbBytes soma = Context->ColorOf(-70.0);
    const TRgbBytes dendrite = Context->ColorOf(30.0);
    EXPECT_TRUE(HasColorNear(200.0, 200.0, soma)) << style;
    EXPECT_TRUE(HasColorNear(300.0, 250.0, dendrite)) << style;
    // Turned a little about the origin, the model stays in the view.
    Key(Qt::Key_Y);
    Key(Qt::Key_X);
    Redraw();
    EXPECT_GT(CountColor(soma), 20) << style;
    EXPECT_GT(CountColor(dendrite), 20) << style;
    Form.reset();
  }
}

// Coordinates beyond a float's range are drawn relative to the model's box:
// the picture is that of the same model at ordinary size.
TEST_F(Show3D, AModelBeyondTheRangeOfAFloatIsDrawn) {
  const double k = 1e300;
  auto sections =
      std::vector{Section("soma", -1, {{k, 0, 0, 10 * k}, {201 * k, 0, 0, 10 * k}}),
                  Section("dend", 0, {{101 * k, 0, 0, 4 * k}, {101 * k, 100 * k, 0, 4 * k}})};
  // Lengths as the file stores them (their squares overflow a double).
  sections[0].Length = 200 * k;
  sections[1].Length = 100 * k;
  for (const int style : {TOpenGLThread3D::Wire, TOpenGLThread3D::Diameter}) {
    TOptions::Instance().Graphics3D.ShapeStyle = style;
    Open(sections, {{0.0, -70.0, 30.0}});
    const TRgbBytes soma = Context->ColorOf(-70.0);
    const TRgbBytes dendrite = Context->ColorOf(30.0);
    for (double x : {6.0, 51.0, 151.0, 196.0})
      EXPECT_TRUE(HasColorNear(x * k, 0.0, soma)) << style << " soma at " << x;
    for (double y : {10.0, 50.0, 95.0})
      EXPECT_TRUE(HasColorNear(101 * k, y * k, dendrite)) << style << " dendrite at " << y;
    EXPECT_EQ(At(ToPixel(51 * k, 50 * k)), White) << style;
    Form.reset();
  }
}

TEST_F(Show3D, AxesStartWhereTheMenuOpenedAndKeepTheirPixelOffsets) {
  Open(Tee, TeeFrame);
  EXPECT_EQ(CountColor(Red), 0);
  Choose("ShowAxesMenuItem", {120, 80});
  EXPECT_TRUE(TOptions::Instance().Graphics3D.ShowXYZAxes);
  EXPECT_EQ(TOptions::Instance().Graphics3D.AxisLeft, 120);
  EXPECT_EQ(TOptions::Instance().Graphics3D.AxisTop, 80);
  Redraw();
  // 100 pixels along x in red, up along y in green; z points at the viewer.
  EXPECT_TRUE(HasColorNear(QPoint(121, 80), Red));
  EXPECT_TRUE(HasColorNear(QPoint(215, 80), Red));
  EXPECT_FALSE(HasColorNear(QPoint(225, 80), Red));
  EXPECT_TRUE(HasColorNear(QPoint(120, 30), Green));
  EXPECT_FALSE(HasColorNear(QPoint(120, 90), Green));

  Form->resize(500, 420);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Thread()->GetGeometry().PanelRight == 500; }, 10000));
  Redraw();
  EXPECT_TRUE(HasColorNear(QPoint(121, 80), Red));
  EXPECT_TRUE(HasColorNear(QPoint(120, 30), Green));

  // They turn with the model: about Z by 90 degrees x points up.
  Key(Qt::Key_Z, Qt::ControlModifier, 9);
  Redraw();
  EXPECT_TRUE(HasColorNear(QPoint(120, 30), Red));
  EXPECT_FALSE(HasColorNear(QPoint(170, 80), Red));

  Choose("HideAxesMenuItem");
  Redraw();
  EXPECT_FALSE(TOptions::Instance().Graphics3D.ShowXYZAxes);
  EXPECT_EQ(CountColor(Red), 0);
}

TEST_F(Show3D, ThePaletteBarHasOneCellPerColourUpFromTheMenuPoint) {
  struct TCase {
    int Colors;
  };
  for (const TCase &c : {TCase{10}, TCase{1}}) {
    Open(Tee, TeeFrame);
    const std::string path = Dir.filePath("palette.ncm").toStdString();
    {
      std::ofstream file(path);
      for (int i = 0; i < c.Colors; ++i)
        file << 20 * i << " 0 " << 255 - 20 * i << "\n";
    }
    Context->Palette.LoadFromFile(path);
    ASSERT_EQ(Context->Palette.GetColorCount(), c.Colors);
    Choose("ShowPaletteMenuItem", {50, 250});
    Redraw();
    EXPECT_TRUE(TOptions::Instance().Graphics3D.ShowPalette);
    const int height = TGlyphFont("Arial", 8).TextHeight() + 2;
    for (int i = 0; i < c.Colors; ++i)
      EXPECT_EQ(At({57, 250 - i * height - height / 2}), (TRgbBytes{20 * i, 0, 255 - 20 * i}))
          << "cell " << i;
    EXPECT_EQ(At({57, 250 - c.Colors * height - 3}), White);
    EXPECT_EQ(At({48, 245}), White);
    // The labels, in black, right of the cells.
    bool label = false;
    for (int x = 66; x < 120; ++x)
      label = label || At({x, 250 - height / 2}) == Black;
    EXPECT_TRUE(label) << c.Colors;
    Choose("HidePaletteMenuItem");
    Redraw();
    EXPECT_EQ(At({57, 250 - height / 2}), White);
    Form.reset();
  }
}

TEST_F(Show3D, TheAxisLengthDialogsTakeOnlyPositiveIntegers) {
  struct TCase {
    const char *Item;
    std::optional<QString> Answer;
    int Pixel;
    int Um;
    int Mode;
    QString Message;
  };
  Open(Tee, TeeFrame);
  QString prompt;
  QString caption;
  QString shown;
  std::optional<QString> answer;
  TScopedInputQueryHandler query([&](QWidget *, const QString &title, const QString &text,
                                     const QString &value) -> std::optional<QString> {
    caption = title;
    prompt = text + " [" + value + "]";
    return answer;
  });
  TScopedMessageBoxHandler box([&](QWidget *, const QString &, const QString &text,
                                   QMessageBox::Icon, QMessageBox::StandardButtons) {
    shown = text;
    return QMessageBox::Ok;
  });
  const TOptions::TGraphics3DSettings &options = TOptions::Instance().Graphics3D;
  for (const TCase &c :
       {TCase{"AxesSizeumMenuItem", "30", 100, 30, 1, ""},
        TCase{"AxesSizePixelMenuItem", " 250 ", 250, 30, 0, ""},
        TCase{"AxesSizePixelMenuItem", "0", 250, 30, 0, ""},
        TCase{"AxesSizeumMenuItem", "-5", 250, 30, 0, ""},
        TCase{"AxesSizeumMenuItem", "  ", 250, 30, 0, ""},
        TCase{"AxesSizeumMenuItem", std::nullopt, 250, 30, 0, ""},
        TCase{"AxesSizeumMenuItem", "abc", 250, 30, 0, "'abc' is not a valid integer value"}}) {
    answer = c.Answer;
    shown.clear();
    Choose(c.Item);
    SCOPED_TRACE(c.Item + (" " + c.Answer.value_or("(cancelled)").toStdString()));
    EXPECT_EQ(options.AxisLengthPixel, c.Pixel);
    EXPECT_EQ(options.AxisLengthum, c.Um);
    EXPECT_EQ(options.AxisLengthMode, c.Mode);
    EXPECT_EQ(Checked("AxesSizePixelMenuItem"), c.Mode == 0);
    EXPECT_EQ(Checked("AxesSizeumMenuItem"), c.Mode == 1);
    EXPECT_EQ(shown, c.Message);
    EXPECT_EQ(caption, Form->windowTitle());
  }
  EXPECT_EQ(prompt, "Enter the axis length in um [30]");
  answer = "40";
  Choose("AxesSizePixelMenuItem");
  EXPECT_EQ(prompt, "Enter the axis length in pixel [250]");
  // The pixel length shows: 40 pixels of red from the origin.
  Choose("ShowAxesMenuItem", {100, 100});
  Redraw();
  EXPECT_TRUE(HasColorNear(QPoint(135, 100), Red));
  EXPECT_FALSE(HasColorNear(QPoint(145, 100), Red));
}

TEST_F(Show3D, TheShapeStyleSwitchesOnlyToTheOtherStyleWithItsCheckMark) {
  Open(Tee, TeeFrame);
  const TOptions::TGraphics3DSettings &options = TOptions::Instance().Graphics3D;
  EXPECT_TRUE(Checked("ShapeStyleWireMenuItem"));
  EXPECT_FALSE(Checked("ShapeStyleDiameterMenuItem"));
  struct TCase {
    const char *Item;
    int Style;
  };
  for (const TCase &c :
       {TCase{"ShapeStyleWireMenuItem", 0}, TCase{"ShapeStyleDiameterMenuItem", 1},
        TCase{"ShapeStyleDiameterMenuItem", 1}, TCase{"ShapeStyleWireMenuItem", 0}}) {
    Choose(c.Item);
    EXPECT_EQ(options.ShapeStyle, c.Style) << c.Item;
    EXPECT_EQ(Thread()->GetShapeStyle(), c.Style) << c.Item;
    EXPECT_EQ(Checked("ShapeStyleWireMenuItem"), c.Style == 0) << c.Item;
    EXPECT_EQ(Checked("ShapeStyleDiameterMenuItem"), c.Style == 1) << c.Item;
  }
}

// The choices of the menu are kept in the settings and come back with the
// next window.
TEST_F(Show3D, ANewWindowStartsWithTheStoredChoices) {
  TOptions::TGraphics3DSettings &options = TOptions::Instance().Graphics3D;
  options.ShowXYZAxes = true;
  options.AxisLeft = 60;
  options.AxisTop = 200;
  options.AxisLengthMode = 1;
  options.AxisLengthum = 50;
  options.ShapeStyle = 1;
  Open(Tee, TeeFrame);
  EXPECT_TRUE(Thread()->GetShowAxes());
  EXPECT_EQ(Thread()->GetShapeStyle(), 1);
  EXPECT_TRUE(Checked("AxesSizeumMenuItem"));
  EXPECT_TRUE(Checked("ShapeStyleDiameterMenuItem"));
  // 50 units at 1.5 pixels per unit.
  EXPECT_TRUE(HasColorNear(QPoint(60 + 70, 200), Red));
  EXPECT_FALSE(HasColorNear(QPoint(60 + 80, 200), Red));
}

} // namespace
