#include "MovieProbe.h"

#include "render/FrameRecorder.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Frame n: a colour of its own with a dark bar whose place moves with n.
QImage TestFrame(int n, const QSize &size = {161, 121}) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor::fromHsv((n * 37) % 360, 200, 230));
  for (int y = 0; y < size.height(); ++y)
    for (int x = (n * 3) % (size.width() - 10), end = x + 10; x < end; ++x)
      image.setPixel(x, y, qRgb(20, 20, 20));
  return image;
}

TMovieRequest Movie(const QString &path) {
  TMovieRequest request;
  request.MoviePath = path;
  return request;
}

TMovieRequest Images(const QString &folder) {
  TMovieRequest request;
  request.Format = TMovieFormat::PngSequence;
  request.ImageFolder = folder;
  return request;
}

// PATH without ffmpeg while it lives.
class TScopedEmptyPath {
public:
  TScopedEmptyPath() : Saved(qgetenv("PATH")) { qputenv("PATH", Empty.path().toLocal8Bit()); }
  ~TScopedEmptyPath() { qputenv("PATH", Saved); }

private:
  QTemporaryDir Empty;
  QByteArray Saved;
};

TEST(FrameRecorder, PadsToEvenSizesForTheEncoder) {
  struct TCase {
    QSize Size, Even;
    QString Input, Pad;
  };
  for (const TCase &c :
       {TCase{{800, 600}, {800, 600}, "800x600", "pad=800:600:0:0:color=0xffffff"},
        TCase{{401, 300}, {402, 300}, "401x300", "pad=402:300:0:0:color=0xffffff"},
        TCase{{161, 121}, {162, 122}, "161x121", "pad=162:122:0:0:color=0xffffff"}}) {
    EXPECT_EQ(TFrameRecorder::EvenSize(c.Size), c.Even);
    const QStringList arguments =
        TFrameRecorder::EncoderArguments(c.Size, "bgra", 25, Qt::white, "/d/x.mp4");
    EXPECT_EQ(arguments[arguments.indexOf("-s") + 1], c.Input);
    EXPECT_EQ(arguments[arguments.indexOf("-vf") + 1], c.Pad);
    EXPECT_EQ(arguments[arguments.indexOf("-r") + 1], "25");
    EXPECT_EQ(arguments[arguments.indexOf("-pix_fmt") + 1], "bgra");
    EXPECT_EQ(arguments.constLast(), "/d/x.mp4");
  }
}

TEST(FrameRecorder, FitsAFrameOfAnotherSizeIntoTheMovie) {
  QImage wide(200, 100, QImage::Format_RGB32);
  wide.fill(Qt::red);
  struct TCase {
    QImage Image;
    QSize Size;
    QPoint Inside, Border;
  };
  for (const TCase &c :
       {TCase{wide, {100, 100}, {50, 50}, {50, 5}}, TCase{wide, {400, 100}, {200, 50}, {10, 50}},
        TCase{wide.scaled(50, 25), {100, 100}, {50, 50}, {50, 10}}}) {
    const QImage frame = TFrameRecorder::FitFrame(c.Image, c.Size, Qt::blue);
    EXPECT_EQ(frame.size(), c.Size);
    EXPECT_EQ(frame.pixelColor(c.Inside), QColor(Qt::red));
    EXPECT_EQ(frame.pixelColor(c.Border), QColor(Qt::blue));
  }
  // A frame of the movie's size passes unchanged.
  EXPECT_EQ(TFrameRecorder::FitFrame(wide, wide.size(), Qt::blue), wide);
}

TEST(FrameRecorder, WritesEachNewFrameTimeOnceAsNumberedImages) {
  QTemporaryDir dir;
  const QString folder = dir.filePath("frames");
  TFrameRecorder recorder(Images(folder), "cell - 1D", Qt::white);
  for (int n = 0; n < 50; ++n) {
    const double time = 0.5 * n;
    ASSERT_TRUE(recorder.IsNewFrame(time));
    ASSERT_TRUE(recorder.AddFrame(TestFrame(n), time));
    EXPECT_FALSE(recorder.IsNewFrame(time));
  }
  EXPECT_TRUE(recorder.Finish());
  EXPECT_EQ(recorder.FrameCount(), 50);
  EXPECT_EQ(recorder.LastFrameTime(), 24.5);
  const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
  ASSERT_EQ(files.size(), 50);
  EXPECT_EQ(files.constFirst(), "cell - 1D_00001.png");
  EXPECT_EQ(files.constLast(), "cell - 1D_00050.png");
  for (int n : {0, 17, 49})
    EXPECT_EQ(QImage(TFrameRecorder::SequenceFileName(folder, "cell - 1D", n + 1))
                  .convertToFormat(QImage::Format_RGB32),
              TestFrame(n))
        << n;
}

TEST(FrameRecorder, EncodesEveryFrameIntoAnEvenSizedMovie) {
  QTemporaryDir dir;
  const QString path = dir.filePath("run.mp4");
  TFrameRecorder recorder(Movie(path), "run", Qt::white);
  for (int n = 0; n < 50; ++n)
    ASSERT_TRUE(recorder.AddFrame(TestFrame(n), n)) << recorder.Error().toStdString();
  ASSERT_TRUE(recorder.Finish()) << recorder.Error().toStdString();
  const TMovieInfo info = ProbeMovie(path);
  EXPECT_EQ(info.Frames, 50);
  EXPECT_EQ(info.Width, 162);
  EXPECT_EQ(info.Height, 122);
  for (int n : {0, 25, 49}) {
    const QImage frame = MovieFrame(path, n);
    EXPECT_LT(MeanDifference(frame.copy(0, 0, 161, 121), TestFrame(n)), 4.0) << n;
    // The padding is the background.
    EXPECT_GT(qGray(frame.pixel(161, 60)), 200) << n;
  }
}

TEST(FrameRecorder, AKilledEncoderFailsTheRecordingAndLeavesAPlayableMovie) {
  QTemporaryDir dir;
  const QString path = dir.filePath("killed.mp4");
  TFrameRecorder recorder(Movie(path), "killed", Qt::white);
  QSignalSpy failed(&recorder, &TFrameRecorder::Failed);
  for (int n = 0; n < 30; ++n)
    ASSERT_TRUE(recorder.AddFrame(TestFrame(n), n));
  // Let the encoder write what it has been given.
  QTest::qWait(1000);
  ASSERT_GT(recorder.EncoderProcessId(), 0);
  ::kill(static_cast<pid_t>(recorder.EncoderProcessId()), SIGKILL);
  bool added = true;
  for (int n = 30; n < 40 && added; ++n) {
    QTest::qWait(50);
    added = recorder.AddFrame(TestFrame(n), n);
  }
  EXPECT_FALSE(added);
  EXPECT_TRUE(recorder.HasFailed());
  EXPECT_EQ(failed.count(), 1);
  EXPECT_TRUE(recorder.Error().startsWith("The movie encoder stopped"))
      << recorder.Error().toStdString();
  EXPECT_FALSE(recorder.Finish());
  const TMovieInfo info = ProbeMovie(path);
  EXPECT_GT(info.Frames, 0);
  EXPECT_LE(info.Frames, recorder.FrameCount());
}

TEST(FrameRecorder, ReportsWhatKeepsItFromWriting) {
  QTemporaryDir dir;
  QFile blocker(dir.filePath("file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  struct TCase {
    TMovieRequest Request;
    bool EmptyPath;
    QString Error;
  };
  for (const TCase &c :
       {TCase{Movie(dir.filePath("x.mp4")), true,
              "MP4 needs ffmpeg, which was not found on the PATH."},
        TCase{Movie(dir.filePath("file/x.mp4")), false, "The movie encoder stopped: "},
        TCase{Images(dir.filePath("file/frames")), false, "Could not create the folder "}}) {
    std::optional<TScopedEmptyPath> path;
    if (c.EmptyPath)
      path.emplace();
    TFrameRecorder recorder(c.Request, "x", Qt::white);
    QSignalSpy failed(&recorder, &TFrameRecorder::Failed);
    // The encoder may take the first frame before it finds it cannot write.
    bool added = true;
    for (int n = 0; n < 20 && added; ++n) {
      added = recorder.AddFrame(TestFrame(n), n);
      QTest::qWait(20);
    }
    EXPECT_FALSE(added);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_TRUE(recorder.Error().startsWith(c.Error)) << recorder.Error().toStdString();
  }
  // Images need no encoder.
  TScopedEmptyPath path;
  TFrameRecorder images(Images(dir.filePath("frames")), "x", Qt::white);
  EXPECT_TRUE(images.AddFrame(TestFrame(0), 0.0));
  EXPECT_TRUE(images.Finish());
}

} // namespace
