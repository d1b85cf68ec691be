#include "ViewTestData.h"

#include "control/PlaybackRules.h"
#include "render/GraphicForm.h"
#include "render/OpenGLDisplayPanel.h"
#include "render/OpenGLViewThread.h"

#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>

namespace {

// The left half of the view red (name 1), the right half blue (name 2).
void DrawHalves() {
  glLoadName(1);
  glColor3f(1, 0, 0);
  glRectd(0.0, 0.0, 0.5, 1.0);
  glLoadName(2);
  glColor3f(0, 0, 1);
  glRectd(0.5, 0.0, 1.0, 1.0);
}

// A view that draws the two halves and records the time of every frame it draws.
class TRecordingThread : public TOpenGLViewThread {
public:
  TRecordingThread(TGraphicForm &owner, int sleepPeriodMs)
      : TOpenGLViewThread(owner, {0.0, 1.0, 0.0, 1.0}, sleepPeriodMs) {}
  ~TRecordingThread() override { TerminateAndWait(); }

  // Written and read on the GUI thread only.
  std::vector<double> Drawn;

protected:
  TMargins ComputeMargins() const override { return {0, 0, 0, 0}; }
  void DrawLayers() override {
    DrawHalves();
    if (Data == nullptr)
      return;
    double time = 0.0;
    {
      std::lock_guard lock(Data->GetFrameLock());
      time = Data->GetCurrentFrame()[0];
    }
    Drawn.push_back(time);
    SetLastDrawnTime(time);
  }
};

// A graphic window around the recording view that picks, from its mouse
// handler, which half was clicked, and notes its other hooks.
class TRecordingForm : public TGraphicForm {
public:
  TRecordingForm(const TNeuronDataFile &data, int sleepPeriodMs) {
    PopupMenu().addAction("Item");
    auto thread = std::make_unique<TRecordingThread>(*this, sleepPeriodMs);
    {
      std::lock_guard lock(WindowLock());
      thread->SetData(&data);
    }
    AttachRenderThread(std::move(thread));
    resize(200, 100);
  }
  ~TRecordingForm() override { StopRenderThread(); }

  TRecordingThread &View() const { return static_cast<TRecordingThread &>(*RenderThread()); }

  std::vector<std::string> Events;
  int Picked = 0;

protected:
  void OpenGLDisplayPanelMouseDown(QMouseEvent &event) override {
    Events.push_back("down " + std::to_string(event.position().toPoint().x()));
    Picked = Pick(event.position().toPoint());
  }
  void OpenGLDisplayPanelMouseMove(QMouseEvent &event) override {
    Events.push_back("move " + std::to_string(event.position().toPoint().x()));
  }
  void OpenGLDisplayPanelMouseUp(QMouseEvent &) override { Events.push_back("up"); }
  void OpenGLDisplayPanelDblClick(QMouseEvent &) override { Events.push_back("double"); }
  void PopupMenuPopup(const QPoint &position) override {
    Events.push_back("menu " + std::to_string(position.x()));
    PopupMenu().close();
  }
  void FormKeyDown(QKeyEvent &event) override {
    Events.push_back("key " + event.text().toStdString());
  }

private:
  // GL_SELECT at the point, as the dendrogram picks; the name hit, or -1.
  int Pick(const QPoint &point) {
    TOpenGLDisplayPanel &panel = *DisplayPanel();
    if (!panel.MakeContextCurrent())
      return -2;
    GLuint hits[16] = {};
    glSelectBuffer(16, hits);
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    GLint viewport[4] = {0, 0, panel.width(), panel.height()};
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPickMatrix(point.x(), panel.height() - point.y(), 1.0, 1.0, viewport);
    gluOrtho2D(0.0, 1.0, 0.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawHalves();
    return glRenderMode(GL_RENDER) > 0 ? static_cast<int>(hits[3]) : -1;
  }
};

class GraphicWindow : public ::testing::Test {
protected:
  void SetUp() override {
    Context = std::make_unique<TTestViewContext>(WriteDataFile(
        Dir, "frames.dat", {StraightSection("soma", -1, 10, 1)},
        {{0.0, -10.0}, {0.5, 0.0}, {1.0, 10.0}, {1.5, 20.0}, {2.0, 30.0}, {2.5, 40.0}}));
  }

  std::unique_ptr<TRecordingForm> OpenForm(int sleepPeriodMs) {
    auto form = std::make_unique<TRecordingForm>(Context->Data, sleepPeriodMs);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->GetLastDrawnTime() == 0.0; }, 10000));
    return form;
  }

  QTemporaryDir Dir;
  std::unique_ptr<TTestViewContext> Context;
};

// Stepping as the Control Window does, whenever every window has drawn the
// current frame, with several windows of different sleep periods: each draws
// every frame, in order (once, unless another window's exposing it asks for
// a frame again).
TEST_F(GraphicWindow, PacedPlaybackGivesEveryWindowEveryFrameOnce) {
  std::vector<std::unique_ptr<TRecordingForm>> forms;
  for (int sleepPeriod : {0, 0, 5, 15})
    forms.push_back(OpenForm(sleepPeriod));
  const std::vector<double> times = {0.0, 0.5, 1.0, 1.5, 2.0, 2.5};
  double current = 0.0;
  QTimer timer;
  timer.setInterval(1);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    for (const auto &form : forms)
      if (!IsViewReady(form->GetLastDrawnTime(), current, current, 0.0001))
        return;
    const double next = Context->Data.StepForward(0);
    if (next < 0.0)
      timer.stop();
    else
      current = next;
  });
  timer.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !timer.isActive(); }, 20000));
  QTest::qWait(100);
  for (const auto &form : forms) {
    std::vector<double> drawn = form->View().Drawn;
    drawn.erase(std::unique(drawn.begin(), drawn.end()), drawn.end());
    EXPECT_EQ(drawn, times);
  }
}

// A click on the native window reaches the window's mouse hooks in panel
// coordinates, and a selection run from the handler finds the half clicked;
// a right press also asks for the context menu there; keys reach FormKeyDown.
TEST_F(GraphicWindow, NativeWindowInputReachesTheHooksAndPickingWorks) {
  std::unique_ptr<TRecordingForm> form = OpenForm(15);
  QWindow *native = form->DisplayPanel()->NativeWindow();
  ASSERT_TRUE(native->isExposed());
  EXPECT_FALSE(native->flags().testFlag(Qt::WindowType::Widget));

  // Moves without a button reach a panel only while it tracks the mouse.
  QTest::mouseMove(native, QPoint(60, 50));
  form->DisplayPanel()->setMouseTracking(true);
  QTest::mouseMove(native, QPoint(70, 50));
  form->DisplayPanel()->setMouseTracking(false);
  QTest::mouseClick(native, Qt::LeftButton, {}, QPoint(150, 50));
  EXPECT_EQ(form->Picked, 2);
  QTest::mouseClick(native, Qt::LeftButton, {}, QPoint(30, 50));
  EXPECT_EQ(form->Picked, 1);
  QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(30, 50),
                          native->mapToGlobal(QPointF(30, 50)), Qt::LeftButton, Qt::LeftButton, {});
  QCoreApplication::sendEvent(native, &doubleClick);
  QTest::mousePress(native, Qt::RightButton, {}, QPoint(40, 20));
  QTest::keyClick(native, Qt::Key_A);
  EXPECT_EQ(form->Events, (std::vector<std::string>{"move 70", "down 150", "up", "down 30", "up",
                                                    "double", "down 40", "menu 40", "key a"}));
  EXPECT_EQ(form->PopupPosition(), QPoint(40, 20));
}

// Input the window's handlers take, and its menu commands, may change what the
// view shows: each draws one more frame.
TEST_F(GraphicWindow, HandledInputDrawsTheNextFrame) {
  std::unique_ptr<TRecordingForm> form = OpenForm(15);
  form->move(1500, 300);
  const std::vector<std::pair<std::string, std::function<void()>>> inputs = {
      {"key", [&] { QTest::keyClick(form.get(), Qt::Key_B); }},
      {"menu command", [&] { form->PopupMenu().actions().front()->trigger(); }},
      {"click",
       [&] {
         QTest::mouseClick(form->DisplayPanel(), Qt::LeftButton, {}, {10, 10});
       }},
  };
  for (const auto &[name, input] : inputs) {
    const std::uint64_t draws = SettledDraws(form->View());
    input();
    const std::uint64_t after = SettledDraws(form->View());
    EXPECT_GE(after, draws + 1) << name;
    // A click is two events, a press and a release.
    EXPECT_LE(after, draws + (name == "click" ? 2 : 1)) << name;
  }
  // F1 asks for help and changes nothing.
  const std::uint64_t draws = SettledDraws(form->View());
  QTest::keyClick(form.get(), Qt::Key_F1);
  EXPECT_EQ(SettledDraws(form->View()), draws);
}

// What a frame draws is on the screen, not only in the back buffer, and the
// read-back shows the same pixels.
TEST_F(GraphicWindow, AFrameReachesTheScreen) {
  std::unique_ptr<TRecordingForm> form = OpenForm(15);
  // Where other tests' windows do not cover it.
  form->move(1500, 80);
  TOpenGLDisplayPanel *panel = form->DisplayPanel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel->mapToGlobal(QPoint(0, 0)).x() >= 1500; }));
  QTest::qWait(50);
  const QImage grabbed = panel->grabFramebuffer();
  const QPoint origin = panel->mapToGlobal(QPoint(0, 0));
  const QImage screen = QGuiApplication::primaryScreen()
                            ->grabWindow(0, origin.x(), origin.y(), panel->width(), panel->height())
                            .toImage();
  ASSERT_EQ(screen.size(), grabbed.size());
  for (const QPoint &p : {QPoint(20, 50), QPoint(180, 50)})
    EXPECT_EQ(screen.pixel(p) & 0xffffff, grabbed.pixel(p) & 0xffffff) << p.x();
  EXPECT_EQ(qRed(screen.pixel(20, 50)), 255);
  EXPECT_EQ(qBlue(screen.pixel(180, 50)), 255);
}

} // namespace
