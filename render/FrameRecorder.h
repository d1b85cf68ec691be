#pragma once

#include "settings/MessageDialog.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

// Writes the frames of one recording: into an MP4 file through an ffmpeg child
// process fed raw frames on its standard input, or as numbered PNG images
// into a folder. The first frame fixes the movie's size; a later frame of
// another size (the window was resized) is scaled into it, letterboxed with
// the background colour.
//
// Writing blocks until the encoder has taken all but the last frame, so the
// caller runs at the encoder's pace and memory stays bounded. The MP4 is
// written in fragments, one per frame, so that whatever the encoder wrote
// before it failed plays.
//
// A failure (the encoder ends or cannot keep up, a disk error) makes the
// recorder stop, keep its message in Error() and emit Failed once; the
// frames written so far stay where they are, and the message says where only
// when they are there. GUI thread only.
class TFrameRecorder : public QObject {
  Q_OBJECT

public:
  // Nothing is written before the first frame.
  TFrameRecorder(const TMovieRequest &request, const QString &baseName, const QColor &background);
  // Finishes the recording if it was not.
  ~TFrameRecorder() override;

  // ffmpeg on the PATH; empty when there is none.
  static QString FindEncoder();
  // The encoder's arguments for raw frames of size in memory order pixelFormat
  // ("bgra"), padded to even dimensions with background, into moviePath.
  static QStringList EncoderArguments(const QSize &size, const QString &pixelFormat,
                                      int framesPerSecond, const QColor &background,
                                      const QString &moviePath);
  // The even size the encoder pads size to.
  static QSize EvenSize(const QSize &size);
  // The n-th image (from 1) of a sequence: folder/baseName_00001.png.
  static QString SequenceFileName(const QString &folder, const QString &baseName, int n);
  // The n-th file name of pattern: its one number field (%d, or %0Nd for N
  // digits at least, N up to 9) written with n, "%%" as "%". Empty when the
  // pattern has no such field, more than one, or another "%".
  static QString NumberedFileName(const QString &pattern, int n);
  // The files that a recording of request would replace: the movie file, or
  // the numbered images of baseName in the folder.
  static QStringList ExistingOutput(const TMovieRequest &request, const QString &baseName);
  // Whether path holds a movie that plays: its header (moov) and at least one
  // whole box of frames (mdat), as the top-level boxes of the file show.
  static bool HoldsPlayableMovie(const QString &path);
  // image as a frame of size: itself when it has that size, else scaled to fit
  // and centred on background.
  static QImage FitFrame(const QImage &image, const QSize &size, const QColor &background);

  // Whether a frame drawn for time is one not yet written: a new frame time.
  bool IsNewFrame(double time) const { return time >= 0.0 && time != LastTime; }
  // Writes image as the frame of time; false once the recording has failed.
  bool AddFrame(const QImage &image, double time);
  // Ends the recording: closes the encoder's input and waits for it to write
  // the end of the file. False when that, or the recording, failed.
  bool Finish();

  const TMovieRequest &Request() const { return Movie; }
  // The time of the last frame written; -1.0 before the first.
  double LastFrameTime() const { return LastTime; }
  int FrameCount() const { return Frames; }
  QSize FrameSize() const { return Size; }
  bool HasFailed() const { return Failed_; }
  const QString &Error() const { return ErrorText; }
  // The encoder's process id while it runs (0 otherwise).
  qint64 EncoderProcessId() const { return Encoder.processId(); }

signals:
  // The recording failed at once or in the background (the encoder ended).
  void Failed();

private:
  // Takes the movie's size from the first frame and opens the output.
  bool Begin(const QSize &size);
  bool StartEncoder();
  bool WriteToEncoder(const QImage &frame);
  bool WriteImage(const QImage &frame);
  bool Fail(const QString &text);
  // The end of what the encoder said on its error channel.
  QString EncoderMessage();
  void EncoderFinished();

  const TMovieRequest Movie;
  const QString BaseName;
  const QColor Background;
  QProcess Encoder;
  QSize Size;
  double LastTime = -1.0;
  int Frames = 0;
  bool Finishing = false;
  bool Finished = false;
  bool Failed_ = false;
  QString ErrorText;
};
