#include "ControlWindowDriver.h"
#include "MovieProbe.h"
#include "SampleDataFile.h"

#include "control/DataControl.h"
#include "render/FrameRecorder.h"
#include "render/OpenGLDisplayPanel.h"
#include "render/OpenGLViewThread.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "views/Show1D.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

// A Control Window playing 50 frames (0 to 24.5 every 0.5) with its 1D
// window shown at 401 x 301, and the dialogs answered.
class RecordingTest : public ::testing::Test {
protected:
  void SetUp() override {
    TOptions::ReleaseInstance();
    TOptions::Instance().ControlPanel.FramesDelay = 0;
    ASSERT_TRUE(Dir.isValid());
    const QString path = Dir.filePath("run.dat");
    ASSERT_TRUE(WriteSampleDataFile(path.toStdString(), FrameTimes(0.0, 0.5, 24.5)));
    Form = std::make_unique<TDataControlForm>();
    Form->OpenFile(path);
    Form->show();
    QObject::connect(Form->findChild<QLineEdit *>("TimeCurrentEdit"), &QLineEdit::textChanged,
                     [this](const QString &t) { Shown << t; });
    Press("Show1DButton");
    // An odd size, which the encoder pads.
    View().resize(401, 301);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&View()));
    // A paint of the toolkit's own may come before the first pass fits the projection.
    ASSERT_TRUE(QTest::qWaitFor([this] { return View().RenderThread()->GetPassCount() >= 2; }));
    ASSERT_EQ(View().GetLastDrawnTime(), 0.0);
  }
  void TearDown() override {
    Form.reset();
    TOptions::ReleaseInstance();
  }

  TShow1DForm &View() { return *Form->Form1D(); }
  QImage Picture() { return View().DisplayPanel()->grabFramebuffer(); }
  void Press(const char *name) {
    QTest::mouseClick(Form->findChild<QPushButton *>(name), Qt::LeftButton);
  }
  // Plays until playback stops by itself and a recording has ended with it.
  void PlayToTheEnd() {
    Press("PlayBitBtn");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->IsPlaying(); }, 60000));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !View().IsRecording(); }));
  }

  // Opens the view's context menu as a right click does; gives the texts of
  // its visible items ("-" for a separator).
  QStringList OpenMenu() {
    const QPoint position(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, position,
                            View().DisplayPanel()->mapToGlobal(position));
    QApplication::sendEvent(View().DisplayPanel(), &event);
    QStringList texts;
    for (QAction *item : View().PopupMenu().actions())
      if (item->isVisible())
        texts << (item->isSeparator() ? "-" : item->text());
    return texts;
  }
  // Chooses a menu item by name, the menu opened first.
  void Choose(const char *item) {
    OpenMenu();
    QAction *action = View().findChild<QAction *>(item);
    ASSERT_NE(action, nullptr) << item;
    ASSERT_TRUE(action->isVisible() && action->isEnabled()) << item;
    View().PopupMenu().hide();
    action->trigger();
  }
  void Record(const TMovieRequest &request) {
    TScopedRecordMovieHandler answer([&](QWidget *, const TMovieRequest &initial) {
      Initial = initial;
      return std::optional<TMovieRequest>(request);
    });
    Choose("RecordMovieMenuItem");
  }
  TMovieRequest Images(const QString &folder) const {
    TMovieRequest request;
    request.Format = TMovieFormat::PngSequence;
    request.ImageFolder = Dir.filePath(folder);
    return request;
  }
  TMovieRequest Movie(const QString &file) const {
    TMovieRequest request;
    request.MoviePath = Dir.filePath(file);
    return request;
  }
  QStringList Files(const QString &folder) const {
    return QDir(Dir.filePath(folder)).entryList(QDir::Files, QDir::Name);
  }
  QImage Image(const QString &folder, int n) const {
    return QImage(TFrameRecorder::SequenceFileName(Dir.filePath(folder), BaseName(), n));
  }
  QString Caption() const { return QString::fromStdString(TOptions::Instance().Graphics1D.Title); }
  QString BaseName() const { return "run - " + Caption(); }

  QTemporaryDir Dir;
  std::unique_ptr<TDataControlForm> Form;
  QStringList Shown;
  TMovieRequest Initial;
  QStringList Boxes;
  TScopedMessageBoxHandler Handler{LogMessageBoxesTo(Boxes)};
};

TEST_F(RecordingTest, TheMenuEndsWithImageAndMovieItemsAfterTheViewsOwn) {
  View().PopupMenu().addAction("Own item");
  EXPECT_EQ(OpenMenu(), QStringList({"Own item", "-", "Save image...", "Record movie..."}));
  View().PopupMenu().hide();
  // Items a view adds later still come first.
  View().PopupMenu().addAction("Later item");
  Record(Images("frames"));
  EXPECT_EQ(OpenMenu(),
            QStringList({"Own item", "Later item", "-", "Save image...", "Stop recording"}));
  EXPECT_EQ(View().windowTitle(), Caption() + " (recording)");
  Choose("StopRecordingMenuItem");
  EXPECT_FALSE(View().IsRecording());
  EXPECT_EQ(View().windowTitle(), Caption());
  {
    TScopedEmptyPath noEncoder;
    EXPECT_EQ(OpenMenu(),
              QStringList({"Own item", "Later item", "-", "Save image...", "Record movie...",
                           "Movies as PNG images only: no ffmpeg on the PATH"}));
    View().PopupMenu().hide();
  }
  EXPECT_TRUE(Boxes.isEmpty());
}

TEST_F(RecordingTest, ASavedImageHoldsTheViewsPixels) {
  struct TCase {
    QString Answer, Written;
    double Tolerance;
  };
  for (const TCase &c :
       {TCase{"a.png", "a.png", 0.0}, TCase{"b", "b.png", 0.0}, TCase{"c.jpg", "c.jpg", 3.0}}) {
    QString suggested;
    TScopedSaveFileHandler answer(
        [&](QWidget *, const QString &, const QString &path, const QString &) {
          suggested = path;
          return std::optional<QString>(Dir.filePath(c.Answer));
        });
    Choose("SaveImageMenuItem");
    EXPECT_EQ(suggested, Dir.filePath(BaseName() + ".png"));
    const QImage saved(Dir.filePath(c.Written));
    ASSERT_FALSE(saved.isNull()) << c.Written.toStdString();
    const QImage view = Picture();
    EXPECT_EQ(saved.size(), View().DisplayPanel()->size());
    if (c.Tolerance == 0.0) {
      EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32),
                view.convertToFormat(QImage::Format_RGB32));
      // A view of a few colours compresses to a small part of its raw pixels.
      const qint64 raw = 3 * qint64{saved.width()} * saved.height();
      EXPECT_LT(QFileInfo(Dir.filePath(c.Written)).size(), raw / 20) << c.Written.toStdString();
    } else
      EXPECT_LT(MeanDifference(saved, view), c.Tolerance);
  }
  // A folder that cannot be written says so.
  TScopedSaveFileHandler answer([&](QWidget *, const QString &, const QString &, const QString &) {
    return std::optional<QString>(Dir.filePath("none/x.png"));
  });
  Choose("SaveImageMenuItem");
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Boxes.isEmpty(); }));
  EXPECT_TRUE(Boxes.constFirst().startsWith(Caption() + ": Could not write "))
      << Boxes.constFirst().toStdString();
}

TEST_F(RecordingTest, APlaybackGivesOneFrameForEveryFrameItBrings) {
  const QImage first = Picture().convertToFormat(QImage::Format_RGB32);
  Record(Movie("run.mp4"));
  EXPECT_EQ(Initial.MoviePath, Dir.filePath(BaseName() + ".mp4"));
  EXPECT_EQ(Initial.ImageFolder, Dir.filePath(BaseName()));
  EXPECT_EQ(Initial.FramesPerSecond, 25);
  EXPECT_TRUE(Initial.Mp4Offered && Initial.Format == TMovieFormat::Mp4);
  PlayToTheEnd();
  EXPECT_EQ(View().windowTitle(), Caption());
  const QImage last = Picture().convertToFormat(QImage::Format_RGB32);
  ASSERT_GT(MeanDifference(first, last), 0.5);
  const QString path = Dir.filePath("run.mp4");
  const TMovieInfo info = ProbeMovie(path);
  EXPECT_EQ(info.Frames, 50);
  EXPECT_EQ(first.size(), QSize(401, 301));
  EXPECT_EQ(QSize(info.Width, info.Height), QSize(402, 302));
  EXPECT_LT(MeanDifference(MovieFrame(path, 0).copy(first.rect()), first), 4.0);
  EXPECT_LT(MeanDifference(MovieFrame(path, 49).copy(last.rect()), last), 4.0);

  // Recorded from the stopped state, the images begin where playback begins,
  // not with the last frame left on screen.
  Record(Images("frames"));
  PlayToTheEnd();
  const QStringList files = Files("frames");
  ASSERT_EQ(files.size(), 50);
  EXPECT_EQ(files.constFirst(), BaseName() + "_00001.png");
  EXPECT_EQ(Image("frames", 1).convertToFormat(QImage::Format_RGB32), first);
  EXPECT_EQ(Image("frames", 50).convertToFormat(QImage::Format_RGB32), last);
  EXPECT_TRUE(Boxes.isEmpty());
}

TEST_F(RecordingTest, PauseAndStepsContinueARecordingAndStopEndsIt) {
  Record(Images("a"));
  Press("PlayBitBtn");
  ASSERT_TRUE(QTest::qWaitFor([this] { return View().Recorder()->FrameCount() >= 10; }));
  Press("PauseBitBtn");
  Press("StepForwardBitBtn");
  Press("StepBackBitBtn");
  Press("StopBitBtn");
  ASSERT_TRUE(QTest::qWaitFor([this] { return !View().IsRecording(); }));
  // The frame at the start, then one per time shown, the step back's too.
  const qsizetype recorded = Files("a").size();
  EXPECT_EQ(recorded, 1 + Shown.size());
  PlayToTheEnd();
  EXPECT_EQ(Files("a").size(), recorded);
  // Minimising the window ends a recording, which could not go on, and says so.
  Record(Images("b"));
  View().setWindowState(Qt::WindowMinimized);
  EXPECT_FALSE(View().IsRecording());
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Boxes.isEmpty(); }));
  EXPECT_EQ(Boxes, QStringList(Caption() +
                               ": The recording stopped: a minimised window draws no frames."));
  // Closing it ends one silently.
  View().setWindowState(Qt::WindowNoState);
  Record(Images("c"));
  View().close();
  EXPECT_FALSE(View().IsRecording());
  QTest::qWait(50);
  EXPECT_EQ(Boxes.size(), 1);
}

TEST_F(RecordingTest, RecordingOverEarlierOutputAsksFirst) {
  QDir().mkpath(Dir.filePath("frames"));
  for (const char *name : {"_00001.png", "_00002.png", "_00100.png", "_x.png"})
    QFile(Dir.filePath("frames/" + BaseName() + name)).open(QIODevice::WriteOnly);
  QFile(Dir.filePath("old.mp4")).open(QIODevice::WriteOnly);
  struct TCase {
    TMovieRequest Request;
    QMessageBox::StandardButton Answer;
    bool Records;
    QString Asked;
  };
  for (const TCase &c : {TCase{Movie("old.mp4"), QMessageBox::No, false,
                               Dir.filePath("old.mp4") + " already exists.\nReplace it?"},
                         TCase{Images("frames"), QMessageBox::No, false,
                               Dir.filePath("frames") + " already holds 3 images named " +
                                   BaseName() + "_00001.png and on.\nReplace them?"},
                         TCase{Images("frames"), QMessageBox::Yes, true, "the same"}}) {
    QStringList asked;
    TScopedMessageBoxHandler answer([&](QWidget *, const QString &, const QString &text,
                                        QMessageBox::Icon, QMessageBox::StandardButtons) {
      asked << text;
      return c.Answer;
    });
    Record(c.Request);
    ASSERT_EQ(asked.size(), 1);
    if (c.Answer == QMessageBox::No) {
      EXPECT_EQ(asked.constFirst(), c.Asked);
    }
    EXPECT_EQ(View().IsRecording(), c.Records);
  }
  View().StopRecording();
  // The new images alone, and what was not an image of the sequence.
  EXPECT_EQ(Files("frames"), QStringList({BaseName() + "_00001.png", BaseName() + "_x.png"}));
}

TEST_F(RecordingTest, AKilledEncoderStopsTheRecordingWithAMessageAndLeavesAPlayableMovie) {
  Record(Movie("killed.mp4"));
  Press("PlayBitBtn");
  ASSERT_TRUE(QTest::qWaitFor([this] { return View().Recorder()->FrameCount() >= 10; }));
  Press("PauseBitBtn");
  QTest::qWait(500);
  ::kill(static_cast<pid_t>(View().Recorder()->EncoderProcessId()), SIGKILL);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Boxes.isEmpty(); }));
  EXPECT_EQ(Boxes.constFirst(), Caption() +
                                    ": The movie encoder stopped: ffmpeg ended abnormally.\n"
                                    "The movie up to here is in " +
                                    Dir.filePath("killed.mp4") + ".");
  EXPECT_FALSE(View().IsRecording());
  EXPECT_EQ(View().windowTitle(), Caption());
  // Playback goes on without it.
  PlayToTheEnd();
  EXPECT_GT(ProbeMovie(Dir.filePath("killed.mp4")).Frames, 0);
}

TEST_F(RecordingTest, WithoutFfmpegOnlyImagesAreOffered) {
  TScopedEmptyPath noEncoder;
  Record(Images("steps"));
  EXPECT_FALSE(Initial.Mp4Offered);
  EXPECT_EQ(Initial.Format, TMovieFormat::PngSequence);
  for (int i = 0; i < 3; ++i) {
    Press("StepForwardBitBtn");
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return View().GetLastDrawnTime() == Form->CurrentTime(); }));
  }
  Choose("StopRecordingMenuItem");
  EXPECT_EQ(Files("steps").size(), 4);
  EXPECT_TRUE(Boxes.isEmpty());
}

} // namespace
