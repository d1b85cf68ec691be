#include "MovieProbe.h"

#include "render/FrameRecorder.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

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

TEST(FrameRecorder, NumbersImagesByTheNamesField) {
  const struct {
    const char *Pattern;
    int N;
    const char *Name;
  } cases[] = {
      {"f_%05d.png", 7, "f_00007.png"},
      {"%d.png", 123, "123.png"},
      {"a%%b%03d.png", 4, "a%b004.png"},
      {"%02d.png", 12345, "12345.png"},
      {"f.png", 1, ""},
      {"%05d_%05d.png", 1, ""},
      {"%5d.png", 1, ""},
      {"%s.png", 1, ""},
      {"100%.png", 1, ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(TFrameRecorder::NumberedFileName(c.Pattern, c.N), QString(c.Name)) << c.Pattern;

  QTemporaryDir dir;
  TMovieRequest request = Images(dir.path());
  request.ImagePattern = "frame-%03d.png";
  TFrameRecorder recorder(request, "unused", Qt::white);
  QImage frame(8, 6, QImage::Format_RGB32);
  frame.fill(Qt::red);
  ASSERT_TRUE(recorder.AddFrame(frame, 0.0));
  ASSERT_TRUE(recorder.AddFrame(frame, 1.0));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
            QStringList({"frame-001.png", "frame-002.png"}));
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

TEST(FrameRecorder, ReportsWhatKeepsItFromWriting) {
  QTemporaryDir dir;
  QFile blocker(dir.filePath("file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.mp4"));
  struct TCase {
    TMovieRequest Request;
    bool EmptyPath;
    QString Error;
  };
  for (const TCase &c :
       {TCase{Movie(dir.filePath("x.mp4")), true,
              "MP4 needs ffmpeg, which was not found on the PATH."},
        TCase{Movie(dir.filePath("file/x.mp4")), false, "Could not create the folder "},
        // The encoder takes frames before it finds it cannot open the file.
        TCase{Movie(dir.filePath("folder.mp4")), false, "The movie encoder stopped: "},
        TCase{Images(dir.filePath("file/frames")), false, "Could not create the folder "}}) {
    std::optional<TScopedEmptyPath> path;
    if (c.EmptyPath)
      path.emplace();
    TFrameRecorder recorder(c.Request, "x", Qt::white);
    QSignalSpy failed(&recorder, &TFrameRecorder::Failed);
    // The encoder may take the first frame before it finds it cannot write.
    QImage frame(161, 121, QImage::Format_RGB32);
    frame.fill(Qt::gray);
    bool added = true;
    for (int n = 0; n < 20 && added; ++n) {
      added = recorder.AddFrame(frame, n);
      QTest::qWait(20);
    }
    EXPECT_FALSE(added);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_TRUE(recorder.Error().startsWith(c.Error)) << recorder.Error().toStdString();
    // Nothing was written, so the message points to nothing.
    EXPECT_FALSE(recorder.Error().contains("up to here")) << recorder.Error().toStdString();
  }
  // A movie that a new folder holds, which a cut copy of it does not.
  TFrameRecorder recorder(Movie(dir.filePath("new/sub/x.mp4")), "x", Qt::white);
  QImage frame(64, 48, QImage::Format_RGB32);
  frame.fill(Qt::gray);
  for (int n = 0; n < 3; ++n)
    ASSERT_TRUE(recorder.AddFrame(frame, n)) << recorder.Error().toStdString();
  ASSERT_TRUE(recorder.Finish());
  QFile movie(dir.filePath("new/sub/x.mp4"));
  ASSERT_TRUE(movie.open(QIODevice::ReadOnly));
  const QByteArray bytes = movie.readAll();
  QFile cut(dir.filePath("cut.mp4"));
  ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
  // Up to a few bytes into the first box of frames: the header alone.
  cut.write(bytes.left(bytes.indexOf("mdat") + 8));
  cut.close();
  const std::vector<std::pair<QString, bool>> files{{movie.fileName(), true},
                                                    {cut.fileName(), false},
                                                    {dir.filePath("file"), false},
                                                    {dir.filePath("none"), false}};
  for (const auto &[path, plays] : files)
    EXPECT_EQ(TFrameRecorder::HoldsPlayableMovie(path), plays) << path.toStdString();
  EXPECT_EQ(ProbeMovie(movie.fileName()).Frames, 3);
}

} // namespace
