#include "ControlWindowDriver.h"
#include "MovieProbe.h"
#include "SampleDataFile.h"

#include "control/DataControl.h"
#include "render/FrameRecorder.h"
#include "render/GraphicForm.h"
#include "render/OpenGLDisplayPanel.h"
#include "render/OpenGLViewThread.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show1D.h"
#include "views/Show2D.h"
#include "views/Show3D.h"
#include "views/ShowFt.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

constexpr int RecordedFrames = 20;

// Every graphic window a Control Window opens, with the first item of its own
// menu ("" for none).
struct TViewCase {
  const char *Name;
  const char *Button;
  std::function<TGraphicForm *(const TDataControlForm &)> View;
  QString FirstOwnItem;
};

const TViewCase ViewCases[] = {
    {"1D", "Show1DButton", [](const TDataControlForm &f) { return f.Form1D(); }, ""},
    {"2D", "Show2DButton", [](const TDataControlForm &f) { return f.Form2D(); }, "Select point"},
    {"3D", "Show3DButton", [](const TDataControlForm &f) { return f.Form3D(); }, "Show axes"},
    {"F(t)", "ShowFtButton", [](const TDataControlForm &f) { return f.FormFt(); },
     "Delete all points"},
};

// A Control Window playing frames 0, 1, ... 19 of a file with one point picked,
// opening one view at a time away from the other windows, so that the screen
// shows the whole view.
class RecordEveryViewTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    TOptions::Instance().ControlPanel.FramesDelay = 0;
    ASSERT_TRUE(Dir.isValid());
    ASSERT_TRUE(
        WriteSampleDataFile(Path.toStdString(), FrameTimes(0.0, 1.0, RecordedFrames - 1.0)));
  }
  void TearDown() override {
    Form.reset();
    TOptions::ReleaseInstance();
  }

  // Opens the case's view at 401 x 301 on a new Control Window.
  TGraphicForm *Open(const TViewCase &c) {
    Form.reset();
    Form = OpenControlWindow(Path, 1);
    Form->AddSelectedPoint("1,0,1", "dend[0](1)");
    PressButton(*Form, c.Button);
    TGraphicForm *view = c.View(*Form);
    if (view == nullptr)
      return nullptr;
    view->move(850, 700);
    view->resize(401, 301);
    if (!QTest::qWaitForWindowExposed(view) || !QTest::qWaitFor([view] {
          return view->DisplayPanel()->mapToGlobal(QPoint()).x() >= 850;
        }) ||
        !Settle(*view))
      return nullptr;
    return view;
  }

  // Waits until the view has drawn the current frame and nothing is left to
  // draw.
  static bool Settle(const TGraphicForm &view) {
    const TOpenGLViewThread &thread = *view.RenderThread();
    return QTest::qWaitFor([&] {
      const std::uint64_t draws = thread.GetDrawCount();
      const std::uint64_t passes = thread.GetPassCount();
      QTest::qWait(3 * TOpenGLViewThread::IdleWaitMs);
      return thread.GetPassCount() >= passes + 2 && thread.GetDrawCount() == draws && draws > 0;
    });
  }

  // What the screen shows of the view's panel.
  static QImage Screen(const TGraphicForm &view) {
    const TOpenGLDisplayPanel &panel = *view.DisplayPanel();
    const QPoint origin = panel.mapToGlobal(QPoint(0, 0));
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, origin.x(), origin.y(), panel.width(), panel.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
  }

  // Opens the view's context menu as a right click opens it; gives the texts
  // of its visible items ("-" for a separator).
  static QStringList OpenMenu(TGraphicForm &view) {
    const QPoint position(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, position,
                            view.DisplayPanel()->mapToGlobal(position));
    QApplication::sendEvent(view.DisplayPanel(), &event);
    QStringList texts;
    for (QAction *item : view.PopupMenu().actions())
      if (item->isVisible())
        texts << (item->isSeparator() ? "-" : item->text());
    return texts;
  }

  // Clicks the item in the opened menu, over the view; waits until the view
  // has drawn what the menu covered.
  static void Choose(TGraphicForm &view, const char *item) {
    OpenMenu(view);
    QMenu &menu = view.PopupMenu();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    QAction *action = view.findChild<QAction *>(item);
    ASSERT_NE(action, nullptr) << item;
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !menu.isVisible(); }));
    ASSERT_TRUE(Settle(view));
  }

  // Records a playback from the first frame to the last into request.
  void RecordPlayback(TGraphicForm &view, const TMovieRequest &request) {
    TScopedRecordMovieHandler answer(
        [&](QWidget *, const TMovieRequest &) { return std::optional<TMovieRequest>(request); });
    Choose(view, "RecordMovieMenuItem");
    ASSERT_TRUE(view.IsRecording());
    PressButton(*Form, "PlayBitBtn");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->IsPlaying(); }, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.IsRecording(); }));
    ASSERT_TRUE(Settle(view));
  }

  QTemporaryDir Dir;
  QString Path = Dir.filePath("run.dat");
  std::unique_ptr<TDataControlForm> Form;
  QStringList Boxes;
  TScopedMessageBoxHandler Handler{[this](QWidget *, const QString &caption, const QString &text,
                                          QMessageBox::Icon, QMessageBox::StandardButtons) {
    Boxes << caption + ": " + text;
    return QMessageBox::Ok;
  }};
};

TEST_F(RecordEveryViewTest, TheMenuEndsWithImageAndMovieItemsAfterTheViewsOwn) {
  for (const TViewCase &c : ViewCases) {
    SCOPED_TRACE(c.Name);
    TGraphicForm *view = Open(c);
    ASSERT_NE(view, nullptr);
    const QStringList items = OpenMenu(*view);
    view->PopupMenu().hide();
    ASSERT_GE(items.size(), 2);
    EXPECT_EQ(items.mid(items.size() - 2), QStringList({"Save image...", "Record movie..."}));
    if (c.FirstOwnItem.isEmpty()) {
      EXPECT_EQ(items.size(), 2);
    } else {
      EXPECT_EQ(items.constFirst(), c.FirstOwnItem);
      EXPECT_EQ(items.at(items.size() - 3), "-");
    }
  }
}

TEST_F(RecordEveryViewTest, ASavedImageIsWhatTheScreenShows) {
  for (const TViewCase &c : ViewCases) {
    SCOPED_TRACE(c.Name);
    TGraphicForm *view = Open(c);
    ASSERT_NE(view, nullptr);
    const QString path = Dir.filePath(QString(c.Name).remove('(').remove(')') + ".png");
    TScopedSaveFileHandler answer([&](QWidget *, const QString &, const QString &,
                                      const QString &) { return std::optional<QString>(path); });
    Choose(*view, "SaveImageMenuItem");
    const QImage saved(path);
    ASSERT_EQ(saved.size(), QSize(401, 301));
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), Screen(*view));
  }
  EXPECT_TRUE(Boxes.isEmpty());
}

// Each window records a playback to MP4, then the next one, started from the
// stopped state, to PNG images: both begin with the first frame, not with the
// last one left on screen.
TEST_F(RecordEveryViewTest, APlaybackGivesEveryFrameAsTheScreenShowedIt) {
  for (const TViewCase &c : ViewCases) {
    SCOPED_TRACE(c.Name);
    TGraphicForm *view = Open(c);
    ASSERT_NE(view, nullptr);
    const QImage first = Screen(*view);
    for (const TMovieFormat format : {TMovieFormat::Mp4, TMovieFormat::PngSequence}) {
      TMovieRequest request;
      request.Format = format;
      request.MoviePath = Dir.filePath(QString("%1.mp4").arg(c.Button));
      request.ImageFolder = Dir.filePath(QString("frames-%1").arg(c.Button));
      RecordPlayback(*view, request);
      const QImage last = Screen(*view);
      ASSERT_GT(MeanDifference(first, last), 0.1);
      if (format == TMovieFormat::Mp4) {
        const TMovieInfo info = ProbeMovie(request.MoviePath);
        EXPECT_EQ(info.Frames, RecordedFrames);
        EXPECT_EQ(QSize(info.Width, info.Height), QSize(402, 302));
        EXPECT_LT(MeanDifference(MovieFrame(request.MoviePath, 0).copy(first.rect()), first), 4.0);
        EXPECT_LT(MeanDifference(
                      MovieFrame(request.MoviePath, RecordedFrames - 1).copy(first.rect()), last),
                  4.0);
      } else {
        const QString baseName = QFileInfo(view->SuggestedPath()).fileName();
        const auto image = [&](int n) {
          return QImage(TFrameRecorder::SequenceFileName(request.ImageFolder, baseName, n))
              .convertToFormat(QImage::Format_RGB32);
        };
        EXPECT_EQ(QDir(request.ImageFolder).entryList(QDir::Files).size(), RecordedFrames);
        EXPECT_EQ(image(1), first);
        EXPECT_EQ(image(RecordedFrames), last);
      }
    }
  }
  EXPECT_TRUE(Boxes.isEmpty());
}

} // namespace
