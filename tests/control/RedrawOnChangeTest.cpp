#include "ControlWindowDriver.h"
#include "SampleDataFile.h"
#include "ViewTestData.h"

#include "control/DataControl.h"
#include "render/GraphicForm.h"
#include "render/OpenGLDisplayPanel.h"
#include "render/OpenGLViewThread.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show1D.h"
#include "views/Show2D.h"
#include "views/Show2DThread.h"
#include "views/Show3D.h"
#include "views/ShowFt.h"

#include <QApplication>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Draws of the 1D, 2D, 3D and F(t) windows.
using TDraws = std::array<std::uint64_t, 4>;

// Counts a window's exposures: other tests' windows on the same X server may
// uncover a view, which then rightly draws again.
class TExposures : public QObject {
public:
  explicit TExposures(QWindow *window) { window->installEventFilter(this); }
  std::uint64_t Count = 0;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    // A paint event is how an exposed window learns that a part was uncovered.
    if ((event->type() == QEvent::Expose || event->type() == QEvent::Paint) &&
        static_cast<QWindow *>(watched)->isExposed())
      ++Count;
    return false;
  }
};

// A Control Window paused early on frames 0..40 with all four views open, a point
// marked at the soma (2D markers shown, clicks add to F(t)).
class RedrawOnChangeTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    TOptions &options = TOptions::Instance();
    options.ControlPanel.FramesDelay = 0;
    options.Graphics2D.SelectPointMode = 1;
    options.Graphics2D.ShowPoints = true;
    options.Palette.File = Dir.filePath("old.ncm").toStdString();
    // Side by side: a window uncovered would draw again for its exposure.
    int slot = 0;
    for (TWindowSettings *bounds : std::initializer_list<TWindowSettings *>{
             &options.Graphics1D, &options.Graphics2D, &options.Graphics3D, &options.GraphicsFt}) {
      bounds->Left = 420 + 460 * (slot % 2);
      bounds->Top = 20 + 420 * (slot / 2);
      bounds->Width = 400;
      bounds->Height = 300;
      ++slot;
    }
    ASSERT_TRUE(WriteSampleDataFile(Path.toStdString(), FrameTimes(0.0, 1.0, 40.0)));
    Form = OpenControlWindow(Path, 1);
    Form->move(0, 0);
    Form->AddSelectedPoint("0,0,0", "soma(0)");
    for (const char *button : {"Show1DButton", "Show2DButton", "Show3DButton", "ShowFtButton"})
      PressButton(*Form, button);
    for (TGraphicForm *view : Views())
      ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    PressButton(*Form, "PlayBitBtn");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->CurrentTime() >= 2.0; }));
    PressButton(*Form, "PauseBitBtn");
    // The windows' first exposures and the last frames played come to an end.
    for (TDraws last{}; Settled() != last;)
      last = Settled();
    for (TGraphicForm *view : Views())
      Exposed.push_back(std::make_unique<TExposures>(view->DisplayPanel()->NativeWindow()));
  }
  void TearDown() override {
    Form.reset();
    TOptions::ReleaseInstance();
  }

  std::array<TGraphicForm *, 4> Views() const {
    return {Form->Form1D(), Form->Form2D(), Form->Form3D(), Form->FormFt()};
  }
  TDraws Exposures() const {
    TDraws count{};
    for (std::size_t v = 0; v < count.size(); ++v)
      count[v] = Exposed[v]->Count;
    return count;
  }
  TDraws Settled() const {
    TDraws draws{};
    for (std::size_t v = 0; v < draws.size(); ++v)
      draws[v] = SettledDraws(*Views()[v]->RenderThread());
    return draws;
  }
  QAction *PointItem(int item) const {
    QMenu *list = Form->FormFt()->findChild<QMenu *>("ListOfPointsMenu");
    return list->actions().at(0)->menu<QMenu *>()->actions().at(item);
  }
  // Loads a one-colour palette through the Control Window's open dialog.
  void LoadPalette() {
    const QString palette = Dir.filePath("red.ncm");
    std::ofstream(palette.toStdString()) << "255 0 0\n";
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
      if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
        answer.stop();
        dialog->selectFile(palette);
        QMetaObject::invokeMethod(dialog, "accept");
      }
    });
    answer.start(10);
    PressButton(*Form, "LoadPaletteBitBtn");
  }
  // A click on the dendrogram's soma row (the top one), in its middle.
  void ClickSoma() {
    TShow2DForm *view = Form->Form2D();
    const TViewGeometry &g = view->RenderThread2D()->GetGeometry();
    const QWidget *panel = view->DisplayPanel();
    const double row = (view->GetTotalHeight() - g.ViewBottom) / (g.ViewTop - g.ViewBottom);
    QTest::mouseClick(
        view->DisplayPanel(), Qt::LeftButton, {},
        QPoint(static_cast<int>((5.0 - g.ViewLeft) / (g.ViewRight - g.ViewLeft) * panel->width()),
               panel->height() - 1 - static_cast<int>(row * panel->height())));
  }

  QTemporaryDir Dir;
  QString Path = Dir.filePath("run.dat");
  std::unique_ptr<TDataControlForm> Form;
  std::vector<std::unique_ptr<TExposures>> Exposed;
  TScopedMessageBoxHandler Boxes{[](QWidget *, const QString &, const QString &, QMessageBox::Icon,
                                    QMessageBox::StandardButtons) { return QMessageBox::Ok; }};
  TScopedColorDialogHandler Colors{
      [](QWidget *, const QColor &) -> std::optional<QColor> { return QColor(Qt::green); }};
};

TEST_F(RedrawOnChangeTest, APausedWindowDrawsEachViewOnceAfterEachChangeThatConcernsIt) {
  struct TCase {
    const char *Change;
    std::function<void()> Make;
    // 1D, 2D, 3D, F(t). Every view listens to the frame and the check marks.
    TDraws Expected;
  };
  const TCase cases[] = {
      {"frame step", [this] { PressButton(*Form, "StepForwardBitBtn"); }, {1, 1, 1, 1}},
      {"variable scale", [this] { EnterText(*Form, "VariableMaxEdit", "35"); }, {1, 1, 1, 1}},
      {"time scale", [this] { EnterText(*Form, "TimeMaxEdit", "39"); }, {0, 0, 0, 1}},
      {"item toggle",
       [this] { Form->findChild<QListWidget *>()->item(1)->setCheckState(Qt::Unchecked); },
       {1, 1, 1, 1}},
      {"palette load", [this] { LoadPalette(); }, {1, 1, 1, 1}},
      {"point added on the 2D window", [this] { ClickSoma(); }, {0, 1, 0, 1}},
      {"point recoloured", [this] { PointItem(0)->trigger(); }, {0, 1, 0, 1}},
      {"point deleted", [this] { PointItem(1)->trigger(); }, {0, 1, 0, 1}},
      {"markers hidden",
       [this] { Form->Form2D()->findChild<QAction *>("ShowHidePointsMenuItem")->trigger(); },
       {0, 1, 0, 0}},
      {"3D key", [this] { QTest::keyClick(Form->Form3D(), Qt::Key_Left); }, {0, 0, 1, 0}},
  };

  // The draws after a change less those an exposure explains.
  TDraws before = Settled();
  TDraws exposed = Exposures();
  const auto drawnSince = [&](const TDraws &expected) {
    const TDraws after = Settled();
    const TDraws exposures = Exposures();
    TDraws drawn{};
    for (std::size_t v = 0; v < drawn.size(); ++v) {
      drawn[v] = after[v] - before[v];
      if (drawn[v] > expected[v])
        drawn[v] -= std::min(drawn[v] - expected[v], exposures[v] - exposed[v]);
    }
    before = after;
    exposed = exposures;
    return drawn;
  };
  QTest::qWait(300);
  EXPECT_EQ(drawnSince({}), TDraws{}) << "paused, nothing changed";
  for (const TCase &c : cases) {
    const std::size_t points = Form->GetFtPoints().size();
    c.Make();
    EXPECT_EQ(drawnSince(c.Expected), c.Expected) << c.Change;
    if (std::string(c.Change) == "point added on the 2D window") {
      EXPECT_EQ(Form->GetFtPoints().size(), points + 1) << "the click must hit the soma";
    }
  }
  EXPECT_EQ(Form->GetFtPoints().size(), 1u);
}

} // namespace
