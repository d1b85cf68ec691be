#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

// PATH without ffmpeg while it lives.
class TScopedEmptyPath {
public:
  TScopedEmptyPath();
  ~TScopedEmptyPath();
  TScopedEmptyPath(const TScopedEmptyPath &) = delete;
  TScopedEmptyPath &operator=(const TScopedEmptyPath &) = delete;

private:
  QTemporaryDir Empty;
  QByteArray Saved;
};

// What ffprobe reads from a movie, counting the frames by decoding them;
// Frames is -1 when the file does not play.
struct TMovieInfo {
  int Frames = -1;
  int Width = 0;
  int Height = 0;
};
TMovieInfo ProbeMovie(const QString &path);

// Frame n (from 0) of a movie as ffmpeg decodes it; null when there is none.
QImage MovieFrame(const QString &path, int n);

// The mean absolute difference of two images' colour channels, 0..255; 255
// when their sizes differ. Compares a frame through a lossy codec.
double MeanDifference(const QImage &a, const QImage &b);
