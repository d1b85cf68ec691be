#include "MovieProbe.h"

#include <QProcess>

#include <cstdlib>

namespace {

QByteArray Run(const QString &program, const QStringList &arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(60000) || process.exitCode() != 0)
    return {};
  return process.readAllStandardOutput();
}

} // namespace

TScopedEmptyPath::TScopedEmptyPath() : Saved(qgetenv("PATH")) {
  qputenv("PATH", Empty.path().toLocal8Bit());
}

TScopedEmptyPath::~TScopedEmptyPath() {
  qputenv("PATH", Saved);
}

TMovieInfo ProbeMovie(const QString &path) {
  const QList<QByteArray> fields =
      Run("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                      "stream=width,height,nb_read_frames", "-of", "csv=p=0", path})
          .trimmed()
          .split(',');
  TMovieInfo info;
  if (fields.size() != 3)
    return info;
  info.Width = fields[0].toInt();
  info.Height = fields[1].toInt();
  info.Frames = fields[2].toInt();
  return info;
}

QImage MovieFrame(const QString &path, int n) {
  return QImage::fromData(
      Run("ffmpeg", {"-v", "error", "-i", path, "-vf", QString("select=eq(n\\,%1)").arg(n),
                     "-frames:v", "1", "-f", "image2pipe", "-c:v", "png", "-"}),
      "png");
}

double MeanDifference(const QImage &a, const QImage &b) {
  if (a.size() != b.size() || a.isNull())
    return 255.0;
  const QImage x = a.convertToFormat(QImage::Format_RGB888);
  const QImage y = b.convertToFormat(QImage::Format_RGB888);
  double sum = 0.0;
  for (int row = 0; row < x.height(); ++row) {
    const uchar *p = x.constScanLine(row);
    const uchar *q = y.constScanLine(row);
    for (int i = 0; i < 3 * x.width(); ++i)
      sum += std::abs(int(p[i]) - int(q[i]));
  }
  return sum / (3.0 * x.width() * x.height());
}
