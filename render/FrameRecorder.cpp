#include "render/FrameRecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtEndian>

namespace {

// How long the encoder may take a frame before the recording counts as failed.
constexpr int EncoderTimeoutMs = 30000;

// Raw frames go to the encoder as the QImage::Format_RGB32 words lie in memory.
const char *RawPixelFormat() {
  return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "bgra" : "argb";
}

} // namespace

TFrameRecorder::TFrameRecorder(const TMovieRequest &request, const QString &baseName,
                               const QColor &background)
    : Movie(request), BaseName(baseName), Background(background) {
  Encoder.setStandardOutputFile(QProcess::nullDevice());
  connect(&Encoder, &QProcess::finished, this, &TFrameRecorder::EncoderFinished);
}

TFrameRecorder::~TFrameRecorder() {
  Finish();
}

QString TFrameRecorder::FindEncoder() {
  return QStandardPaths::findExecutable("ffmpeg");
}

QSize TFrameRecorder::EvenSize(const QSize &size) {
  return {size.width() + size.width() % 2, size.height() + size.height() % 2};
}

QStringList TFrameRecorder::EncoderArguments(const QSize &size, const QString &pixelFormat,
                                             int framesPerSecond, const QColor &background,
                                             const QString &moviePath) {
  const QSize even = EvenSize(size);
  const QString fps = QString::number(framesPerSecond);
  return {"-hide_banner", "-nostats", "-loglevel", "error",
          // The frames on standard input.
          "-f", "rawvideo", "-pix_fmt", pixelFormat, "-s",
          QString("%1x%2").arg(size.width()).arg(size.height()), "-r", fps, "-i", "-",
          // H.264 in 4:2:0 needs even dimensions: one pixel of background where needed.
          "-vf",
          QString("pad=%1:%2:0:0:color=0x%3")
              .arg(even.width())
              .arg(even.height())
              .arg(background.name().mid(1)),
          // No look-ahead, and a keyframe every second: each frame is written as it
          // comes, and the movie can be seeked.
          "-c:v", "libx264", "-preset", "veryfast", "-tune", "zerolatency", "-crf", "18", "-g", fps,
          "-pix_fmt", "yuv420p",
          // A fragment per frame, flushed at once: a movie whose encoder died still plays.
          "-movflags", "+frag_every_frame+empty_moov+default_base_moof", "-flush_packets", "1",
          "-y", moviePath};
}

QString TFrameRecorder::SequenceFileName(const QString &folder, const QString &baseName, int n) {
  // One pass of arg: a % in the name must not take the number.
  return QDir(folder).filePath(
      QString("%1_%2.png").arg(baseName, QString("%1").arg(n, 5, 10, QChar('0'))));
}

QString TFrameRecorder::NumberedFileName(const QString &pattern, int n) {
  static const QRegularExpression field(R"(%(%|(0[1-9])?d))");
  QString name;
  qsizetype from = 0;
  int fields = 0;
  for (QRegularExpressionMatchIterator it = field.globalMatch(pattern); it.hasNext();) {
    const QRegularExpressionMatch match = it.next();
    name += pattern.mid(from, match.capturedStart() - from);
    from = match.capturedEnd();
    if (match.captured(1) == "%") {
      name += '%';
      continue;
    }
    ++fields;
    const int width = match.captured(2).isEmpty() ? 0 : match.captured(2).mid(1).toInt();
    name += QString("%1").arg(n, width, 10, QChar('0'));
  }
  name += pattern.mid(from);
  // A "%" left over is a field of another kind.
  if (fields != 1 || name.count('%') != pattern.count("%%"))
    return {};
  return name;
}

QStringList TFrameRecorder::ExistingOutput(const TMovieRequest &request, const QString &baseName) {
  if (request.Format == TMovieFormat::Mp4)
    return QFileInfo::exists(request.MoviePath) ? QStringList{request.MoviePath} : QStringList{};
  const QDir folder(request.ImageFolder);
  const QRegularExpression numbered(QRegularExpression::anchoredPattern(
      QRegularExpression::escape(baseName) + R"(_\d{5,}\.png)"));
  QStringList files;
  for (const QString &name : folder.entryList({"*.png"}, QDir::Files, QDir::Name))
    if (numbered.match(name).hasMatch())
      files << folder.filePath(name);
  return files;
}

bool TFrameRecorder::HoldsPlayableMovie(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return false;
  const qint64 length = file.size();
  bool header = false;
  bool frames = false;
  // Each box: a 32-bit size (1: a 64-bit size follows the type; 0: up to the
  // end of the file) and a four-letter type. A box cut short ends the walk.
  for (qint64 at = 0; at + 8 <= length && file.seek(at);) {
    const QByteArray head = file.read(16);
    if (head.size() < 8)
      break;
    quint64 size = qFromBigEndian<quint32>(head.constData());
    if (size == 1 && head.size() == 16)
      size = qFromBigEndian<quint64>(head.constData() + 8);
    else if (size == 0)
      size = static_cast<quint64>(length - at);
    if (size < 8 || size > static_cast<quint64>(length - at))
      break;
    const QByteArray type = head.mid(4, 4);
    header = header || type == "moov";
    frames = frames || type == "mdat";
    at += static_cast<qint64>(size);
  }
  return header && frames;
}

QImage TFrameRecorder::FitFrame(const QImage &image, const QSize &size, const QColor &background) {
  if (image.size() == size)
    return image.format() == QImage::Format_RGB32 ? image
                                                  : image.convertToFormat(QImage::Format_RGB32);
  QImage frame(size, QImage::Format_RGB32);
  frame.fill(background);
  if (image.isNull())
    return frame;
  const QImage scaled = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  QPainter painter(&frame);
  painter.drawImage((size.width() - scaled.width()) / 2, (size.height() - scaled.height()) / 2,
                    scaled);
  return frame;
}

bool TFrameRecorder::AddFrame(const QImage &image, double time) {
  if (Failed_ || Finished)
    return false;
  if (Frames == 0 && !Begin(image.size()))
    return false;
  const QImage frame = FitFrame(image, Size, Background);
  if (!(Movie.Format == TMovieFormat::Mp4 ? WriteToEncoder(frame) : WriteImage(frame)))
    return false;
  LastTime = time;
  ++Frames;
  return true;
}

bool TFrameRecorder::Begin(const QSize &size) {
  Size = size;
  if (Size.isEmpty())
    return Fail("The view has no pixels to record.");
  const QString folder =
      Movie.Format == TMovieFormat::Mp4 ? QFileInfo(Movie.MoviePath).path() : Movie.ImageFolder;
  if (!QDir().mkpath(folder))
    return Fail(QString("Could not create the folder %1.").arg(folder));
  return Movie.Format == TMovieFormat::Mp4 ? StartEncoder() : true;
}

bool TFrameRecorder::StartEncoder() {
  const QString program = FindEncoder();
  if (program.isEmpty())
    return Fail("MP4 needs ffmpeg, which was not found on the PATH.");
  Encoder.start(program, EncoderArguments(Size, RawPixelFormat(), Movie.FramesPerSecond, Background,
                                          Movie.MoviePath));
  if (!Encoder.waitForStarted(EncoderTimeoutMs))
    return Fail("Could not start ffmpeg: " + Encoder.errorString());
  return true;
}

bool TFrameRecorder::WriteToEncoder(const QImage &frame) {
  const qint64 frameBytes = frame.sizeInBytes();
  if (Encoder.state() != QProcess::Running ||
      Encoder.write(reinterpret_cast<const char *>(frame.constBits()), frameBytes) != frameBytes)
    return Fail("The movie encoder stopped: " + EncoderMessage());
  // Keep at most this frame waiting: the encoder works on the last one while
  // the next is drawn, and a slow encoder slows the caller instead of filling
  // memory.
  while (!Failed_ && Encoder.bytesToWrite() > frameBytes) {
    if (!Encoder.waitForBytesWritten(EncoderTimeoutMs)) {
      if (Failed_)
        break;
      // An encoder that is ending closes the pipe before it is seen to end.
      if (Encoder.state() != QProcess::Running || Encoder.waitForFinished(1000))
        return Fail("The movie encoder stopped: " + EncoderMessage());
      return Fail("The movie encoder takes no more frames.");
    }
  }
  return !Failed_;
}

bool TFrameRecorder::WriteImage(const QImage &frame) {
  const QString path =
      Movie.ImagePattern.isEmpty()
          ? SequenceFileName(Movie.ImageFolder, BaseName, Frames + 1)
          : QDir(Movie.ImageFolder).filePath(NumberedFileName(Movie.ImagePattern, Frames + 1));
  QImageWriter writer(path, "png");
  if (!writer.write(frame))
    return Fail(QString("Could not write %1: %2").arg(path, writer.errorString()));
  return true;
}

bool TFrameRecorder::Finish() {
  if (Finished)
    return !Failed_;
  Finished = true;
  Finishing = true;
  if (Encoder.state() != QProcess::NotRunning) {
    Encoder.closeWriteChannel();
    if (!Encoder.waitForFinished(EncoderTimeoutMs))
      return Fail("The movie encoder did not finish the movie.");
    if (!Failed_ && (Encoder.exitStatus() != QProcess::NormalExit || Encoder.exitCode() != 0))
      return Fail("The movie encoder stopped: " + EncoderMessage());
  }
  return !Failed_;
}

void TFrameRecorder::EncoderFinished() {
  if (!Finishing)
    Fail("The movie encoder stopped: " + EncoderMessage());
}

QString TFrameRecorder::EncoderMessage() {
  const QStringList lines =
      QString::fromLocal8Bit(Encoder.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
  if (!lines.isEmpty())
    return lines.constLast().trimmed();
  if (Encoder.exitStatus() == QProcess::CrashExit)
    return "ffmpeg ended abnormally.";
  if (Encoder.error() != QProcess::UnknownError)
    return Encoder.errorString();
  return QString("it ended with code %1").arg(Encoder.exitCode());
}

bool TFrameRecorder::Fail(const QString &text) {
  if (Failed_)
    return false;
  Failed_ = true;
  ErrorText = text;
  // The encoder ends first, so that the file is checked as it stays. A frame
  // handed to an encoder that could not open its file is in no movie.
  if (Encoder.state() != QProcess::NotRunning) {
    Finishing = true;
    Encoder.kill();
    Encoder.waitForFinished(EncoderTimeoutMs);
  }
  if (Frames > 0 && Movie.Format == TMovieFormat::PngSequence)
    ErrorText += QString("\nThe images up to here are in %1.").arg(Movie.ImageFolder);
  else if (Frames > 0 && HoldsPlayableMovie(Movie.MoviePath))
    ErrorText += QString("\nThe movie up to here is in %1.").arg(Movie.MoviePath);
  emit Failed();
  return false;
}
