// `dendrovia --render` run as a user runs it, without a display, against the
// windows of the interactive program on the test's X server.
#include "ControlWindowDriver.h"
#include "MovieProbe.h"

#include "control/DataControl.h"
#include "data/NeuronDataFile.h"
#include "render/GraphicForm.h"
#include "render/OpenGLDisplayPanel.h"
#include "render/OpenGLViewThread.h"
#include "settings/Options.h"
#include "tools/SampleNeuron.h"
#include "views/Show1D.h"
#include "views/Show2D.h"
#include "views/Show3D.h"
#include "views/ShowFt.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr int FrameCount = 48;
constexpr double FrameStep = 0.5;

// What a run of the command left: its exit status and its standard error.
struct TRun {
  int Status = -1;
  QString Errors;
};

// A copy of the program with its own settings beside it, and a 48-frame cell.
class HeadlessRenderTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    Program = Dir.filePath("dendrovia");
    ASSERT_TRUE(QFile::copy(DENDROVIA_EXECUTABLE, Program));
    QFile::setPermissions(Program, QFile::permissions(Program) | QFile::ExeOwner);
    WriteIni("[Graphics3D]\nShapeStyle=1\nShowXYZAxes=1\n[Graphics2D]\nShowPalette=1\n"
             "ShowPoints=1\n");
    std::string error;
    const TSampleNeuron cell({.Sections = 24, .Trunks = 3});
    ASSERT_TRUE(cell.Write(Data.toStdString(), FrameCount, FrameStep, "cell", error)) << error;
  }
  void TearDown() override { TOptions::ReleaseInstance(); }

  void WriteIni(const QByteArray &text) {
    QFile ini(Dir.filePath("dendrovia.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(text);
  }

  // Runs the program with no display variable in its environment, and the
  // scale of a high-density desktop, which must not change the output's pixels.
  TRun Render(const QStringList &arguments, const QString &path = {}) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_SCALE_FACTOR", "2");
    if (!path.isNull())
      environment.insert("PATH", path);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(Program, arguments);
    process.waitForFinished(300000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
  }

  QImage RenderPicture(const QString &view, double time, const QStringList &more = {}) {
    const QString out = Dir.filePath(QString("%1-%2.png").arg(view).arg(time));
    const TRun run = Render(QStringList{"--render", Data, "--view", view, "--out", out, "--size",
                                        "401x301", "--at", QString::number(time)} +
                            more);
    EXPECT_EQ(run.Status, 0) << run.Errors.toStdString();
    return QImage(out).convertToFormat(QImage::Format_RGB32);
  }

  QTemporaryDir Dir;
  QString Program;
  const QString Data = Dir.filePath("cell.dat");
};

// Pixels that differ between two pictures of one size (all when the sizes
// differ).
qint64 DifferentPixels(const QImage &a, const QImage &b) {
  if (a.size() != b.size())
    return qint64{a.width()} * a.height() + 1;
  qint64 count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      count += (a.pixel(x, y) & 0xffffff) != (b.pixel(x, y) & 0xffffff);
  return count;
}

struct TViewCase {
  const char *View;
  const char *Button;
  std::function<TGraphicForm *(const TDataControlForm &)> Form;
  QStringList Options;
  std::function<void(TOptions &)> Override;
  // F(t) may differ in a pixel where its curve turns.
  qint64 DifferentPixels = 0;
};

TEST_F(HeadlessRenderTest, EveryViewDrawsWhatItsWindowShows) {
  const TViewCase cases[] = {
      {"1d", "Show1DButton", [](const TDataControlForm &f) { return f.Form1D(); }, {}, {}},
      {"2d",
       "Show2DButton",
       [](const TDataControlForm &f) { return f.Form2D(); },
       {"--points", "soma(0.5)"},
       {}},
      {"3d", "Show3DButton", [](const TDataControlForm &f) { return f.Form3D(); }, {}, {}},
      {"3d",
       "Show3DButton",
       [](const TDataControlForm &f) { return f.Form3D(); },
       {"--style", "wire", "--scale", "-75,0"},
       [](TOptions &o) { o.Graphics3D.ShapeStyle = 0; }},
      {"ft", "ShowFtButton", [](const TDataControlForm &f) { return f.FormFt(); }, {}, {}, 2},
  };
  const double time = 6.0;
  const QByteArray iniBefore = [&] {
    QFile ini(Dir.filePath("dendrovia.ini"));
    return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
  }();
  for (const TViewCase &c : cases) {
    SCOPED_TRACE(c.View + c.Options.join(' ').toStdString());
    const QImage headless = RenderPicture(c.View, time, c.Options);

    // The same file, settings and frame in the interactive program's window.
    TOptions::ReleaseInstance();
    TOptions &settings = TOptions::Instance();
    settings.LoadFromIni(Dir.filePath("dendrovia.ini").toStdString());
    if (c.Override)
      c.Override(settings);
    std::unique_ptr<TDataControlForm> form = OpenControlWindow(Data, 1);
    if (c.Options.contains("--scale")) {
      EnterText(*form, "VariableMinEdit", "-75");
      EnterText(*form, "VariableMaxEdit", "0");
    }
    // F(t) gets the soma's middle, as the command gives it by default.
    const TDataFileSectionInfo &soma = form->Data().GetSections().front();
    ASSERT_EQ(soma.Name, "soma");
    if (c.View == std::string("ft") || c.Options.contains("--points"))
      form->AddSelectedPoint("0, 0, " + std::to_string(soma.SegmentCount / 2),
                             "soma(" + std::to_string(soma.SegmentCount / 2) + ")");
    PressButton(*form, c.Button);
    TGraphicForm *view = c.Form(*form);
    ASSERT_NE(view, nullptr);
    view->move(900, 100);
    view->resize(401, 301);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    // Step from the first frame as far as the time, as a user does.
    for (int step = 0; step < 3 * FrameCount; ++step) {
      if (view->GetLastDrawnTime() == time)
        break;
      const double before = view->GetLastDrawnTime();
      PressButton(*form, "StepForwardBitBtn");
      ASSERT_TRUE(QTest::qWaitFor([&] { return view->GetLastDrawnTime() != before; }, 5000));
    }
    ASSERT_EQ(view->GetLastDrawnTime(), time);
    QTest::qWait(3 * TOpenGLViewThread::IdleWaitMs);
    const TOpenGLDisplayPanel &panel = *view->DisplayPanel();
    const QPoint origin = panel.mapToGlobal(QPoint(0, 0));
    const QImage screen = QGuiApplication::primaryScreen()
                              ->grabWindow(0, origin.x(), origin.y(), 401, 301)
                              .toImage()
                              .convertToFormat(QImage::Format_RGB32);
    EXPECT_LE(DifferentPixels(headless, screen), c.DifferentPixels);
    form.reset();
  }
  QFile ini(Dir.filePath("dendrovia.ini"));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_EQ(ini.readAll(), iniBefore) << "the settings are read, never written";
}

TEST_F(HeadlessRenderTest, MoviesAndImagesHoldEveryFrameInOrder) {
  // Numbered images are lossless: frame k is the picture of frame k's time.
  const struct {
    QString Out;
    QStringList Range;
    int First;
    int Count;
  } cases[] = {
      {"all/", {}, 0, FrameCount},
      {"part/f_%05d.png", {"--from", "5", "--to", "10.2"}, 10, 11},
      {"one/f%d.png", {"--from", "23.5", "--to", "23.5"}, 47, 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Out.toStdString());
    const QString out = Dir.filePath(c.Out);
    const TRun run = Render(
        QStringList{"--render", Data, "--view", "2d", "--out", out, "--size", "401x301"} + c.Range);
    ASSERT_EQ(run.Status, 0) << run.Errors.toStdString();
    EXPECT_TRUE(run.Errors.contains(QString("Wrote %1 frames").arg(c.Count)));
    const QDir folder(QFileInfo(out).path());
    const QStringList files = folder.entryList({"*.png"}, QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), c.Count);
    for (int k : {0, c.Count / 2, c.Count - 1})
      EXPECT_EQ(
          DifferentPixels(QImage(folder.filePath(files[k])).convertToFormat(QImage::Format_RGB32),
                          RenderPicture("2d", (c.First + k) * FrameStep)),
          0)
          << files[k].toStdString();
  }
  EXPECT_TRUE(QFile::exists(Dir.filePath("all/cell - 2D_00048.png")));
  EXPECT_TRUE(QFile::exists(Dir.filePath("part/f_00011.png")));

  // A movie of the 48 frames: through H.264, each frame near its picture.
  const QString movie = Dir.filePath("cell.mp4");
  const TRun run = Render(
      {"--render", Data, "--view", "3d", "--out", movie, "--size", "400x300", "--fps", "12"});
  ASSERT_EQ(run.Status, 0) << run.Errors.toStdString();
  EXPECT_TRUE(run.Errors.contains("frame 48 of 48"));
  const TMovieInfo info = ProbeMovie(movie);
  EXPECT_EQ(info.Frames, FrameCount);
  EXPECT_EQ(info.Width, 400);
  for (int k : {0, 17, 47}) {
    const QImage picture = RenderPicture("3d", k * FrameStep, {"--size", "400x300"});
    EXPECT_LT(MeanDifference(MovieFrame(movie, k), picture), 4.0) << k;
    if (k > 0) {
      EXPECT_GT(MeanDifference(MovieFrame(movie, k), MovieFrame(movie, 0)), 0.05) << k;
    }
  }
}

TEST_F(HeadlessRenderTest, BadInputSaysWhyAndLeavesNothing) {
  QFile garbage(Dir.filePath("garbage.dat"));
  ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
  garbage.write("not a simulation");
  garbage.close();
  const QString out = Dir.filePath("out.png");
  const struct {
    QStringList Arguments;
    QString Out;
    int Status;
    const char *Message;
    QString Path;
  } cases[] = {
      {{"--render", Dir.filePath("none.dat"), "--view", "3d"}, out, 1, "no such file", {}},
      {{"--render", Dir.path(), "--view", "3d"}, out, 1, "is a folder", {}},
      {{"--render", garbage.fileName(), "--view", "3d"}, out, 1, "not a simulation data file", {}},
      {{"--render", Data, "--view", "4d"}, out, 2, "unknown view", {}},
      {{"--render", Data, "--view", "3d", "--size", "0x300"}, out, 2, "between 1 and 16384", {}},
      {{"--render", Data, "--view", "3d", "--size", "16385x300"}, out, 2, "between 1 and", {}},
      {{"--render", Data, "--view", "3d", "--at", "24"}, out, 1, "outside the file's times", {}},
      {{"--render", Data, "--view", "3d", "--from", "-1"},
       Dir.filePath("m.mp4"),
       1,
       "outside the file's times",
       {}},
      {{"--render", Data, "--view", "3d", "--from", "2.1", "--to", "2.4"},
       Dir.filePath("m.mp4"),
       1,
       "No frame lies between",
       {}},
      {{"--render", Data, "--view", "3d"},
       Dir.filePath("no/such/dir/out.png"),
       1,
       "Cannot write",
       {}},
      {{"--render", Data, "--view", "3d"}, Data + "/out.png", 1, "Cannot write", {}},
      {{"--render", Data, "--view", "3d"}, Dir.filePath("out.gif"), 1, "give a .png", {}},
      {{"--render", Data, "--view", "3d"}, Dir.filePath("f_%05d_%05d.png"), 1, "one number", {}},
      {{"--render", Data, "--view", "3d"}, Dir.filePath("m.mp4"), 1, "needs ffmpeg", Dir.path()},
      {{"--render", Data, "--view", "3d", "--palette", Dir.filePath("none.ncm")},
       out,
       1,
       "Cannot read the palette",
       {}},
      {{"--render", Data, "--view", "ft", "--points", "spine(0.5)"},
       out,
       1,
       "no section named spine",
       {}},
  };
  const QStringList before = QDir(Dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
  for (const auto &c : cases) {
    SCOPED_TRACE((c.Arguments.join(' ') + " --out " + c.Out).toStdString());
    const TRun run = Render(c.Arguments + QStringList{"--out", c.Out}, c.Path);
    EXPECT_EQ(run.Status, c.Status);
    EXPECT_TRUE(run.Errors.contains(c.Message)) << run.Errors.toStdString();
    EXPECT_TRUE(run.Errors.startsWith("dendrovia: ")) << run.Errors.toStdString();
    EXPECT_LE(run.Errors.trimmed().count('\n'), 1) << run.Errors.toStdString();
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
  }
}

TEST_F(HeadlessRenderTest, AMovieWhoseEncoderDiesKeepsWhatPlays) {
  // An encoder that takes a few frames and then ends: the movie is removed
  // when it holds nothing, kept and named when it plays.
  const QString bin = Dir.filePath("bin");
  ASSERT_TRUE(QDir().mkpath(bin));
  QFile encoder(bin + "/ffmpeg");
  ASSERT_TRUE(encoder.open(QIODevice::WriteOnly));
  encoder.write("#!/bin/sh\nhead -c 1000000 | " +
                QStandardPaths::findExecutable("ffmpeg").toUtf8() + " \"$@\"\nexit 3\n");
  encoder.close();
  encoder.setPermissions(encoder.permissions() | QFile::ExeOwner);
  const QString movie = Dir.filePath("cut.mp4");
  const TRun run = Render({"--render", Data, "--view", "3d", "--out", movie, "--size", "400x300"},
                          bin + ":/usr/bin:/bin");
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(run.Errors.contains("It stopped after frame")) << run.Errors.toStdString();
  EXPECT_TRUE(run.Errors.contains(movie)) << run.Errors.toStdString();
  const TMovieInfo info = ProbeMovie(movie);
  EXPECT_GT(info.Frames, 0);
  EXPECT_LT(info.Frames, FrameCount);
}

} // namespace
