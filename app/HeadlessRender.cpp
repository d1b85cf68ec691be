#include "app/HeadlessRender.h"

#include "app/Application.h"
#include "app/RenderProgress.h"
#include "control/ScaleInput.h"
#include "render/FrameRecorder.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/NumberFormat.h"
#include "settings/Options.h"
#include "views/Show1D.h"
#include "views/Show2D.h"
#include "views/Show3D.h"
#include "views/ShowFt.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

// How long a view may take to draw a frame before the run counts as stuck.
constexpr qint64 FrameTimeoutMs = 120000;

// Only the toolkit's failures reach standard error: its warnings (no runtime
// folder, fonts) are no business of a rendering's log.
void QuietMessages(QtMsgType type, const QMessageLogContext &, const QString &message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "dendrovia: %s\n", qPrintable(message));
}

TNumberText NumberText(const std::string &format) {
  return {[format](double value) { return FormatFloat(format, value); },
          [](const std::string &text, double &value) { return TryParseFloat(text, value); }};
}

// A number as its box would show it, and what the box then holds.
double Shown(const TNumberText &numbers, double value, std::string &text) {
  text = numbers.Format(value);
  numbers.Parse(text, value);
  return value;
}

QString Time(double time, const std::string &unit) {
  const QString number = QString::number(time, 'g', 10);
  return unit.empty() ? number : number + " " + QString::fromStdString(unit);
}

const TWindowSettings &ViewBounds(TRenderView view) {
  const TOptions &settings = TOptions::Instance();
  switch (view) {
  case TRenderView::Graph1D:
    return settings.Graphics1D;
  case TRenderView::Graph2D:
    return settings.Graphics2D;
  case TRenderView::Graph3D:
    return settings.Graphics3D;
  case TRenderView::Ft:
    break;
  }
  return settings.GraphicsFt;
}

} // namespace

THeadlessRender::THeadlessRender(const TRenderRequest &request)
    : Request(request), OutputKind(request.OutputKind),
      OutputPath(QString::fromStdString(request.Output)) {
  TOptions &settings = TOptions::Instance();
  if (Request.Palette)
    settings.Palette.File = *Request.Palette;
  if (Request.ShapeStyle)
    settings.Graphics3D.ShapeStyle = *Request.ShapeStyle;
  // Nobody watches: a view draws as soon as its frame is there.
  settings.Data.SleepPeriod = 0;
  const TWindowSettings &bounds = ViewBounds(Request.View);
  Width = Request.Width.value_or(bounds.Width > 0 ? std::min(bounds.Width, MaxRenderSize) : 800);
  Height =
      Request.Height.value_or(bounds.Height > 0 ? std::min(bounds.Height, MaxRenderSize) : 600);
}

THeadlessRender::~THeadlessRender() {
  // The window's thread reads the data: it goes first.
  View.reset();
}

int THeadlessRender::RunCommand(int argc, char **argv) {
  const TRenderArguments arguments = ParseRenderArguments({argv + 1, argv + argc});
  if (!arguments.Request) {
    std::fprintf(stderr, "dendrovia: %s\nTry 'dendrovia --help'.\n", arguments.Error.c_str());
    return 2;
  }
  // No display at all: the toolkit's off-screen platform, without its GLX.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
  // --size is in output pixels, whatever scale the user's desktop asks for.
  qunsetenv("QT_SCALE_FACTOR");
  qunsetenv("QT_SCREEN_SCALE_FACTORS");
  qInstallMessageHandler(QuietMessages);
  // The toolkit must not read the command's arguments as its own.
  int toolkitArgc = 1;
  char *toolkitArgv[] = {argv[0], nullptr};
  QApplication application(toolkitArgc, toolkitArgv);
  application.setApplicationName(QStringLiteral("Dendrovia"));

  TOptionsEnvironment environment;
  environment.ExecutablePath = QCoreApplication::applicationFilePath().toStdString();
  TOptions::SetEnvironment(environment);
  TOptions::SetErrorReport([](const std::string &caption, const std::string &text) {
    std::fprintf(stderr, "dendrovia: %s: %s\n", caption.c_str(), text.c_str());
  });
  // The interactive program's settings file, never created from here.
  const QString ini =
      TDendroviaApplication::IniPathFor(QCoreApplication::applicationFilePath(), false);
  TOptions::Instance().LoadFromIni(QFile::encodeName(ini).toStdString());
  THeadlessRender render(*arguments.Request);
  return render.Run();
}

int THeadlessRender::Run() {
  // The windows' message boxes (a failed recording, no OpenGL) come here.
  const TScopedMessageBoxHandler boxes([this](QWidget *, const QString &, const QString &text,
                                              QMessageBox::Icon, QMessageBox::StandardButtons) {
    Messages << text;
    return QMessageBox::Ok;
  });
  bool written = OpenData() && ChooseFrames() && CheckOutput() && AddPoints() && CreateView();
  if (written)
    written = OutputKind == TRenderOutput::Picture ? WritePicture() : WriteFrames();
  View.reset();
  if (written)
    return 0;
  std::fprintf(stderr, "dendrovia: %s\n", qPrintable(Error));
  return 1;
}

bool THeadlessRender::Fail(const QString &text) {
  if (Error.isEmpty())
    Error = text;
  return false;
}

void THeadlessRender::AddSelectedPoint(const std::string &code, const std::string &name) {
  std::string error;
  ::AddSelectedPoint(Points, code, name, error);
}

bool THeadlessRender::OpenData() {
  const QString path = QString::fromStdString(Request.DataFile);
  const QFileInfo info(path);
  if (!info.exists())
    return Fail(path + ": no such file");
  if (info.isDir())
    return Fail(path + " is a folder, not a data file");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return Fail(QString("Cannot read %1: %2").arg(path, file.errorString()));
  file.close();
  Data.Load(QFile::encodeName(path).toStdString());
  if (Data.GetFileName().empty())
    return Fail(
        path + ": " +
        QString::fromStdString(Data.DescribeLoadError(TOptions::Instance().DataFileSignature)));

  TOptions &settings = TOptions::Instance();
  if (Request.Palette) {
    QFile palette(QString::fromStdString(*Request.Palette));
    if (QFileInfo(palette).isDir() || !palette.open(QIODevice::ReadOnly))
      return Fail(QString("Cannot read the palette %1: %2")
                      .arg(palette.fileName(),
                           QFileInfo(palette).isDir() ? "it is a folder" : palette.errorString()));
  }
  // The scales as the Control Window sets them: each holds what its box shows.
  const TNumberText values = NumberText(settings.ControlPanel.DataRangeFormat);
  TScaleRange scale = InitialVariableScale(Data.GetVariableMin(), Data.GetVariableMax(), values);
  if (Request.ScaleMin)
    scale = {*Request.ScaleMin, *Request.ScaleMax};
  scale.Min = Shown(values, scale.Min, VariableMinText);
  scale.Max = Shown(values, scale.Max, VariableMaxText);
  if (!(scale.Min < scale.Max))
    return Fail(QString("The variable scale %1 to %2 has no width as the settings write it "
                        "(DataRangeFormat %3)")
                    .arg(QString::fromStdString(VariableMinText),
                         QString::fromStdString(VariableMaxText),
                         QString::fromStdString(settings.ControlPanel.DataRangeFormat)));
  Palette.SetRange(scale.Min, scale.Max);
  Palette.LoadFromFile(settings.Palette.File);
  Data.SetPalette(&Palette);
  Data.RecolorCurrentFrame();
  return true;
}

bool THeadlessRender::ChooseFrames() {
  const double first = Data.GetFirstFrameTime();
  const double last = Data.GetLastFrameTime();
  const double slack = 1e-9 * std::max({1.0, std::abs(first), std::abs(last)});
  const std::string &unit = Data.GetTimeUnit();
  const auto inside = [&](const std::optional<double> &time, const char *option) {
    if (!time || (*time >= first - slack && *time <= last + slack))
      return true;
    return Fail(QString("%1 %2 lies outside the file's times, %3 to %4")
                    .arg(option, Time(*time, unit), Time(first, {}), Time(last, unit)));
  };
  if (!inside(Request.At, "--at") || !inside(Request.From, "--from") || !inside(Request.To, "--to"))
    return false;
  if (OutputKind == TRenderOutput::Picture) {
    FirstTime = LastTime = Data.FindNearestFrameTime(Request.At.value_or(first));
    FrameTotal = 1;
  } else {
    FirstTime = Request.From.value_or(first);
    LastTime = Request.To.value_or(last);
    FrameTotal = Data.CountFramesBetween(FirstTime - slack, LastTime + slack);
    if (FrameTotal == 0)
      return Fail(QString("No frame lies between %1 and %2")
                      .arg(Time(FirstTime, {}), Time(LastTime, unit)));
  }
  if (FrameTotal < 0)
    return Fail(QString("Cannot read the frames of %1").arg(Request.DataFile.c_str()));
  // The time scale of a movie is its stretch of time, as a user sets it to
  // play that stretch; a picture's is the whole file.
  const TNumberText times = NumberText(TOptions::Instance().ControlPanel.TimeRangeFormat);
  Shown(times, OutputKind == TRenderOutput::Picture ? first : FirstTime, TimeMinText);
  Shown(times, OutputKind == TRenderOutput::Picture ? last : LastTime, TimeMaxText);
  FirstTime -= slack;
  LastTime += slack;
  return true;
}

bool THeadlessRender::CheckOutput() {
  if (OutputKind == TRenderOutput::Other) {
    if (!QFileInfo(OutputPath).isDir())
      return Fail(OutputPath + ": give a .png, .jpg or .mp4 file, a folder, or a file name with "
                               "a number field such as frame_%05d.png");
    OutputKind = TRenderOutput::Images;
  }
  if (OutputKind == TRenderOutput::Movie && TFrameRecorder::FindEncoder().isEmpty())
    return Fail("An MP4 movie needs ffmpeg, which was not found on the PATH; numbered PNG "
                "images (a folder as --out) need nothing else");
  if (OutputKind == TRenderOutput::Images) {
    ImageFolder = OutputPath;
    if (OutputPath.contains('%')) {
      ImageFolder = QFileInfo(OutputPath).path();
      ImagePattern = QFileInfo(OutputPath).fileName();
      if (TFrameRecorder::NumberedFileName(ImagePattern, 1).isEmpty() ||
          !ImagePattern.endsWith(".png", Qt::CaseInsensitive))
        return Fail(OutputPath + ": numbered images need a PNG name with one number field, "
                                 "such as frame_%05d.png");
    }
    OutputExisted = QFileInfo(ImageFolder).isDir();
    if (QFileInfo(ImageFolder).exists() && !OutputExisted)
      return Fail(ImageFolder + " is a file, not a folder for the images");
    if (!QDir().mkpath(ImageFolder))
      return Fail("Cannot create the folder " + ImageFolder);
    QTemporaryFile probe(QDir(ImageFolder).filePath("probe-XXXXXX"));
    if (!probe.open()) {
      RemoveOutput(false);
      return Fail(QString("Cannot write into %1: %2").arg(ImageFolder, probe.errorString()));
    }
    return true;
  }
  if (QFileInfo(OutputPath).isDir())
    return Fail(OutputPath + " is a folder");
  OutputExisted = QFileInfo::exists(OutputPath);
  QFile probe(OutputPath);
  if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
    return Fail(QString("Cannot write %1: %2").arg(OutputPath, probe.errorString()));
  probe.close();
  if (!OutputExisted)
    probe.remove();
  return true;
}

bool THeadlessRender::AddPoints() {
  // The dendrogram marks only points asked for; F(t) needs one at least.
  if (!Request.Points && Request.View != TRenderView::Ft)
    return true;
  const std::vector<TDataFileSectionInfo> &sections = Data.GetSections();
  std::vector<TRenderPoint> wanted;
  if (Request.Points) {
    wanted = *Request.Points;
  } else {
    // The soma's middle: the first section called soma, else the first.
    const auto soma = std::find_if(sections.begin(), sections.end(), [](const auto &s) {
      return s.Name == "soma" || s.Name.rfind("soma", 0) == 0;
    });
    wanted.push_back({soma != sections.end() ? soma->Name : sections.front().Name, 0.5});
  }
  const std::vector<std::int32_t> &itemFirst = Data.GetItemFirstSection();
  for (const TRenderPoint &point : wanted) {
    const auto found = std::find_if(sections.begin(), sections.end(),
                                    [&](const auto &s) { return s.Name == point.Section; });
    if (found == sections.end())
      return Fail(QString("--points: %1 has no section named %2")
                      .arg(Request.DataFile.c_str(), point.Section.c_str()));
    const auto j = static_cast<std::int32_t>(found - sections.begin());
    const auto item = static_cast<std::int32_t>(
        std::upper_bound(itemFirst.begin(), itemFirst.begin() + Data.GetItemCount(), j) -
        itemFirst.begin() - 1);
    const std::int32_t n = found->SegmentCount;
    const std::int32_t k = std::min(static_cast<std::int32_t>(point.Position * n), n - 1);
    AddSelectedPoint(std::to_string(item) + ", " + std::to_string(j - itemFirst[item]) + ", " +
                         std::to_string(k),
                     found->Name + "(" + std::to_string(k) + ")");
  }
  return true;
}

bool THeadlessRender::CreateView() {
  switch (Request.View) {
  case TRenderView::Graph1D:
    View = std::make_unique<TShow1DForm>(*this);
    break;
  case TRenderView::Graph2D: {
    auto form = std::make_unique<TShow2DForm>(*this);
    form->SetSelectedPoints(Points);
    View = std::move(form);
    break;
  }
  case TRenderView::Graph3D:
    View = std::make_unique<TShow3DForm>(*this);
    break;
  case TRenderView::Ft: {
    auto form = std::make_unique<TShowFtForm>(*this);
    form->SetPoints(Points);
    View = std::move(form);
    break;
  }
  }
  View->resize(Width, Height);
  View->show();
  TOpenGLDisplayPanel &panel = *View->DisplayPanel();
  QCoreApplication::processEvents();
  if (!panel.isValid() || View->ClientArea() != &panel) {
    const QString reason = Messages.isEmpty() ? QString() : ": " + Messages.constLast();
    return Fail("OpenGL without a display (EGL on Mesa's surfaceless platform) is not "
                "available" +
                reason);
  }
  if (panel.size() != QSize(Width, Height))
    return Fail(QString("The view could not take the size %1x%2").arg(Width).arg(Height));
  return true;
}

bool THeadlessRender::WaitForFrame(double time) {
  // The view's thread wakes with the new frame; the timer makes sure this
  // loop looks again now and then even when nothing arrives.
  QTimer tick;
  tick.start(50);
  QElapsedTimer waited;
  waited.start();
  const bool recording = View->IsRecording();
  while (View->GetLastDrawnTime() != time) {
    if (recording && !View->IsRecording())
      return false;
    if (waited.elapsed() > FrameTimeoutMs)
      return Fail(QString("The view drew no frame for %1 s").arg(FrameTimeoutMs / 1000));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

bool THeadlessRender::ShowFrame(double time) {
  const double shown = Data.SeekFrame(time);
  if (shown < 0.0)
    return Fail(QString("Cannot read the frame at %1").arg(Time(time, Data.GetTimeUnit())));
  return WaitForFrame(shown);
}

bool THeadlessRender::WritePicture() {
  // F(t) shows the values up to the frame's time, as playback from the start
  // of the time scale leaves it: the frames before it are drawn first.
  if (Request.View == TRenderView::Ft) {
    double time = Data.GetFirstFrameTime();
    if (!ShowFrame(time))
      return false;
    while (time < FirstTime) {
      time = Data.StepForward(0);
      if (time < 0.0)
        return Fail("Cannot read the frames of " + QString::fromStdString(Request.DataFile));
      if (!WaitForFrame(time))
        return false;
    }
  } else if (!ShowFrame(FirstTime)) {
    return false;
  }
  // As "Save image" takes it: the frame the window shows.
  const QImage image = View->DisplayPanel()->grabFramebuffer();
  QImageWriter writer(OutputPath);
  writer.setQuality(95);
  if (image.isNull() || !writer.write(image)) {
    RemoveOutput(false);
    return Fail(QString("Cannot write %1: %2").arg(OutputPath, writer.errorString()));
  }
  Report(QString("Wrote %1: %2x%3, the frame at %4")
             .arg(OutputPath)
             .arg(image.width())
             .arg(image.height())
             .arg(Time(Data.FindNearestFrameTime(FirstTime), Data.GetTimeUnit())));
  return true;
}

bool THeadlessRender::WriteFrames() {
  double time = Data.SeekFrame(FirstTime);
  if (time >= 0.0 && time < FirstTime)
    time = Data.StepForward(0);
  if (time < 0.0 || !WaitForFrame(time))
    return Fail("Cannot read the frames of " + QString::fromStdString(Request.DataFile));

  TMovieRequest movie;
  movie.Format = OutputKind == TRenderOutput::Movie ? TMovieFormat::Mp4 : TMovieFormat::PngSequence;
  movie.MoviePath = OutputPath;
  movie.ImageFolder = ImageFolder;
  movie.ImagePattern = ImagePattern;
  movie.FramesPerSecond = Request.FramesPerSecond;
  if (movie.Format == TMovieFormat::PngSequence && ImagePattern.isEmpty())
    // Older images of the same name would join the sequence.
    for (const QString &file :
         TFrameRecorder::ExistingOutput(movie, QFileInfo(View->SuggestedPath()).fileName()))
      QFile::remove(file);

  QElapsedTimer clock;
  clock.start();
  TRenderProgress progress(FrameTotal);
  const bool terminal = isatty(fileno(stderr)) != 0;
  std::int64_t done = 0;
  // The recording takes the frame on screen, then every new frame drawn.
  View->StartRecording(movie);
  while (View->IsRecording() && View->Recorder()->FrameCount() > done) {
    done = View->Recorder()->FrameCount();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    if (terminal)
      std::fprintf(stderr, "\r%s\033[K", progress.Line(done, seconds).c_str());
    else if (progress.LogDue(done, seconds))
      std::fprintf(stderr, "%s\n", progress.Line(done, seconds).c_str());
    if (done >= FrameTotal)
      break;
    time = Data.StepForward(0);
    if (time < 0.0 || time > LastTime) {
      Fail("Cannot read the frames of " + QString::fromStdString(Request.DataFile));
      break;
    }
    if (!WaitForFrame(time) && !Error.isEmpty())
      break;
  }
  if (terminal)
    std::fputc('\n', stderr);
  const TFrameRecorder *recorder = View->Recorder();
  const int frames = recorder != nullptr ? recorder->FrameCount() : 0;
  const QSize size = recorder != nullptr ? recorder->FrameSize() : QSize();
  const QString recorderError = recorder != nullptr ? recorder->Error() : QString();
  View->StopRecording();
  // The window reports a failed recording after the current event.
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  if (frames < FrameTotal || !Messages.isEmpty() || !Error.isEmpty()) {
    QString text = !Messages.isEmpty()        ? Messages.join('\n')
                   : !recorderError.isEmpty() ? recorderError
                   : !Error.isEmpty()         ? Error
                                              : QString("The recording stopped");
    if (frames > 0)
      text += QString("\nIt stopped after frame %1 of %2.").arg(frames).arg(FrameTotal);
    Error.clear();
    RemoveOutput(frames > 0);
    return Fail(text);
  }
  Report(QString("Wrote %1 frames of %2x%3 from %4 to %5 to %6")
             .arg(frames)
             .arg(size.width())
             .arg(size.height())
             .arg(Time(Data.FindNearestFrameTime(FirstTime), {}), Time(time, Data.GetTimeUnit()),
                  OutputPath));
  return true;
}

void THeadlessRender::Report(const QString &line) {
  std::fprintf(stderr, "%s\n", qPrintable(line));
}

void THeadlessRender::RemoveOutput(bool keepFrames) {
  if (OutputKind == TRenderOutput::Images) {
    // A folder made for the images goes when nothing is in it.
    if (!OutputExisted)
      QDir().rmdir(ImageFolder);
  } else if (!keepFrames) {
    QFile::remove(OutputPath);
  }
}
