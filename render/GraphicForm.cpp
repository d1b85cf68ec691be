#include "render/GraphicForm.h"

#include "data/NeuronDataFile.h"
#include "render/FrameRecorder.h"
#include "render/OpenGLDisplayPanel.h"
#include "render/OpenGLViewThread.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {

const QString RecordingMark = " (recording)";

// Shows a failure of saving or recording after the current event: never from
// inside a drawing step, and never from a window being destroyed.
void ReportLater(const QString &caption, const QString &text) {
  QTimer::singleShot(0, QCoreApplication::instance(), [caption, text] {
    ShowMessageBox(nullptr, caption, text, QMessageBox::Critical, QMessageBox::Ok);
  });
}

QAction *MenuItem(QObject *parent, const char *name, const QString &text) {
  auto *item = new QAction(text, parent);
  item->setObjectName(name);
  return item;
}

} // namespace

TGraphicForm::TGraphicForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
  // Closing a graphic window only hides it; it must not end the application.
  setAttribute(Qt::WA_QuitOnClose, false);
  ContextMenu = new QMenu(this);
  ContextMenu->setObjectName("PopupMenu");
  RecordingSeparator = MenuItem(this, "RecordingSeparator", QString());
  RecordingSeparator->setSeparator(true);
  SaveImageMenuItem = MenuItem(this, "SaveImageMenuItem", "Save image...");
  RecordMovieMenuItem = MenuItem(this, "RecordMovieMenuItem", "Record movie...");
  StopRecordingMenuItem = MenuItem(this, "StopRecordingMenuItem", "Stop recording");
  NoEncoderMenuItem =
      MenuItem(this, "NoEncoderMenuItem", "Movies as PNG images only: no ffmpeg on the PATH");
  NoEncoderMenuItem->setEnabled(false);
  connect(ContextMenu, &QMenu::aboutToShow, this, &TGraphicForm::PopupMenuAboutToShow);
  connect(SaveImageMenuItem, &QAction::triggered, this, &TGraphicForm::SaveImageMenuItemClick);
  connect(RecordMovieMenuItem, &QAction::triggered, this, &TGraphicForm::RecordMovieMenuItemClick);
  connect(StopRecordingMenuItem, &QAction::triggered, this, &TGraphicForm::StopRecording);
  connect(ContextMenu, &QMenu::triggered, this, &TGraphicForm::InvalidateView);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  const TContextFailure failure = TOpenGLDisplayPanel::ProbeContext();
  if (failure == TContextFailure::None) {
    OpenGLDisplayPanel = new TOpenGLDisplayPanel(this);
    OpenGLDisplayPanel->installEventFilter(this);
    layout->addWidget(OpenGLDisplayPanel);
  } else {
    // The toolkit cannot compose a window holding a panel without a context.
    DetachedPanel = std::make_unique<TOpenGLDisplayPanel>();
    OpenGLDisplayPanel = DetachedPanel.get();
    PlainArea = new QWidget(this);
    PlainArea->setObjectName("OpenGLDisplayPanel");
    layout->addWidget(PlainArea);
    TOpenGLDisplayPanel::ReportContextFailure(failure);
  }
  connect(OpenGLDisplayPanel, &TOpenGLDisplayPanel::Resized, this,
          &TGraphicForm::OpenGLDisplayPanelResize);
  // A panel asks for no size; the opener normally sets the bounds from the settings.
  resize(400, 300);
}

TGraphicForm::~TGraphicForm() {
  StopRecording();
  StopRenderThread();
}

QWidget *TGraphicForm::ClientArea() const {
  return PlainArea != nullptr ? PlainArea : static_cast<QWidget *>(OpenGLDisplayPanel);
}

double TGraphicForm::GetLastDrawnTime() const {
  // A frame counts once it is in the movie, so playback waits for the recorder.
  if (Recorder_ && !Recorder_->HasFailed())
    return Recorder_->LastFrameTime();
  return Thread ? Thread->GetLastDrawnTime() : -1.0;
}

bool TGraphicForm::CanPaintNow() const {
  if (PlainArea != nullptr || !isVisible() || isMinimized())
    return false;
  const QWindow *window = windowHandle();
  return window != nullptr && window->isExposed() && !OpenGLDisplayPanel->HasContextFailed();
}

void TGraphicForm::SetPanelColor(const QColor &color) {
  QWidget *area = ClientArea();
  QPalette palette = area->palette();
  palette.setColor(QPalette::Window, color);
  area->setPalette(palette);
  area->setAutoFillBackground(true);
}

QColor TGraphicForm::PanelColor() const {
  return ClientArea()->palette().color(QPalette::Window);
}

void TGraphicForm::AttachRenderThread(std::unique_ptr<TOpenGLViewThread> thread) {
  Thread = std::move(thread);
  Thread->SetPriority(TThread::TPriority::Lower);
}

void TGraphicForm::StopRenderThread() {
  if (!Thread)
    return;
  if (Thread->IsSuspended())
    Thread->Resume();
  Thread->Terminate();
  for (;;) {
    {
      std::lock_guard lock(Lock);
      if (ThreadFinished)
        break;
    }
    // Runs the thread's remaining Synchronize steps and keeps the GUI alive;
    // ReportThreadFinished posts an event so that this wait wakes up.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  Thread.reset();
}

void TGraphicForm::ReportThreadFinished() {
  {
    std::lock_guard lock(Lock);
    ThreadFinished = true;
  }
  // The window may be gone from here on; the event only wakes StopRenderThread.
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
}

void TGraphicForm::OpenGLDisplayPanelResize() {
  ProjectionNeeded = true;
  if (Thread)
    Thread->Wake();
}

void TGraphicForm::InvalidateView() {
  if (Thread)
    Thread->Invalidate();
}

void TGraphicForm::HelpKeyPressed(bool) {}

void TGraphicForm::FormKeyDown(QKeyEvent &event) {
  event.ignore();
}

void TGraphicForm::OpenGLDisplayPanelMouseDown(QMouseEvent &) {}
void TGraphicForm::OpenGLDisplayPanelMouseMove(QMouseEvent &) {}
void TGraphicForm::OpenGLDisplayPanelMouseUp(QMouseEvent &) {}
void TGraphicForm::OpenGLDisplayPanelDblClick(QMouseEvent &) {}
void TGraphicForm::PopupMenuPopup(const QPoint &) {}

void TGraphicForm::OpenGLDisplayPanelContextPopup(const QPoint &position) {
  ContextMenuPosition = position;
  PopupMenuPopup(position);
  ContextMenu->popup(OpenGLDisplayPanel->mapToGlobal(position));
}

void TGraphicForm::PopupMenuAboutToShow() {
  const QList<QAction *> items{RecordingSeparator, SaveImageMenuItem, RecordMovieMenuItem,
                               StopRecordingMenuItem, NoEncoderMenuItem};
  for (QAction *item : items)
    ContextMenu->removeAction(item);
  RecordingSeparator->setVisible(!ContextMenu->actions().isEmpty());
  SaveImageMenuItem->setEnabled(OpenGLDisplayPanel->isValid());
  RecordMovieMenuItem->setEnabled(OpenGLDisplayPanel->isValid());
  RecordMovieMenuItem->setVisible(!IsRecording());
  StopRecordingMenuItem->setVisible(IsRecording());
  NoEncoderMenuItem->setVisible(!IsRecording() && TFrameRecorder::FindEncoder().isEmpty());
  ContextMenu->addActions(items);
}

QString TGraphicForm::Caption() const {
  QString caption = windowTitle();
  if (IsRecording() && caption.endsWith(RecordingMark))
    caption.chop(RecordingMark.size());
  return caption;
}

QString TGraphicForm::SuggestedPath() const {
  QString name = Caption();
  QDir folder = QDir::home();
  const TNeuronDataFile *data = Thread ? Thread->GetData() : nullptr;
  if (data != nullptr && !data->GetFileName().empty()) {
    const QFileInfo file(QString::fromStdString(data->GetFileName()));
    folder = file.absoluteDir();
    name = file.completeBaseName() + " - " + name;
  }
  // A caption may hold characters that no file name can.
  name.replace(QRegularExpression(R"([/\\:*?"<>|])"), "_");
  return folder.filePath(name);
}

void TGraphicForm::SaveImageMenuItemClick() {
  // What the view shows now, not after the dialog.
  const QImage image = OpenGLDisplayPanel->grabFramebuffer();
  const std::optional<QString> chosen = ShowSaveFileDialog(
      this, "Save image", SuggestedPath() + ".png", "PNG image (*.png);;JPEG image (*.jpg *.jpeg)");
  if (!chosen)
    return;
  QString path = *chosen;
  if (QFileInfo(path).suffix().isEmpty())
    path += ".png";
  QImageWriter writer(path);
  // For PNG the quality is the inverse of the compression level: keep the
  // default there, or the file is written uncompressed.
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == "jpg" || suffix == "jpeg")
    writer.setQuality(95);
  if (!writer.write(image))
    ReportLater(Caption(), QString("Could not write %1: %2").arg(path, writer.errorString()));
}

void TGraphicForm::RecordMovieMenuItemClick() {
  TMovieRequest initial;
  initial.Mp4Offered = !TFrameRecorder::FindEncoder().isEmpty();
  initial.Format = initial.Mp4Offered ? TMovieFormat::Mp4 : TMovieFormat::PngSequence;
  initial.MoviePath = SuggestedPath() + ".mp4";
  initial.ImageFolder = SuggestedPath();
  std::optional<TMovieRequest> request = ShowRecordMovieDialog(this, initial);
  if (!request)
    return;
  if (request->Format == TMovieFormat::Mp4 && QFileInfo(request->MoviePath).suffix().isEmpty())
    request->MoviePath += ".mp4";
  const QString baseName = QFileInfo(SuggestedPath()).fileName();
  const QStringList existing = TFrameRecorder::ExistingOutput(*request, baseName);
  if (!existing.isEmpty()) {
    const QString text =
        request->Format == TMovieFormat::Mp4
            ? QString("%1 already exists.\nReplace it?").arg(request->MoviePath)
            : QString("%1 already holds %2 images named %3_00001.png and on.\nReplace them?")
                  .arg(request->ImageFolder, QString::number(existing.size()), baseName);
    if (ShowMessageBox(this, Caption(), text, QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
      return;
    // An old image numbered beyond the new ones must not join their sequence.
    for (const QString &file : existing)
      QFile::remove(file);
  }
  StartRecording(*request);
}

void TGraphicForm::StartRecording(const TMovieRequest &request) {
  StopRecording();
  const QString caption = Caption();
  Recorder_ = std::make_unique<TFrameRecorder>(request, QFileInfo(SuggestedPath()).fileName(),
                                               PanelColor());
  // Queued: a failure is found while the recorder writes, which must not delete it.
  connect(Recorder_.get(), &TFrameRecorder::Failed, this, &TGraphicForm::RecorderFailed,
          Qt::QueuedConnection);
  setWindowTitle(caption + RecordingMark);
  const double time = Thread ? Thread->GetLastDrawnTime() : -1.0;
  if (!ShownFrameStale && time >= 0.0 && OpenGLDisplayPanel->isVisible())
    Recorder_->AddFrame(OpenGLDisplayPanel->grabFramebuffer(), time);
}

void TGraphicForm::StopRecording() {
  if (!Recorder_)
    return;
  const QString caption = Caption();
  const std::unique_ptr<TFrameRecorder> recorder = std::move(Recorder_);
  RecordUntil.reset();
  setWindowTitle(caption);
  const bool failedBefore = recorder->HasFailed();
  if (!recorder->Finish() && !failedBefore)
    ReportLater(caption, recorder->Error());
}

void TGraphicForm::RecorderFailed() {
  // Only a failure of the recording still running: a finished one was reported.
  if (!Recorder_ || !Recorder_->HasFailed())
    return;
  const QString text = Recorder_->Error();
  StopRecording();
  ReportLater(Caption(), text);
}

void TGraphicForm::FrameDrawn(const QImage &picture) {
  const double time = Thread ? Thread->GetLastDrawnTime() : -1.0;
  if (ShownFrameStale && time != StaleFrameTime)
    ShownFrameStale = false;
  if (!Recorder_ || Recorder_->HasFailed() || !Recorder_->IsNewFrame(time) || picture.isNull())
    return;
  // The last frame played, drawn again after playback stopped (a menu closed
  // over it, the window uncovered), is no frame of a recording begun since.
  if (ShownFrameStale && !RecordUntil)
    return;
  if (!RecordUntil || time == *RecordUntil)
    Recorder_->AddFrame(picture, time);
  if (RecordUntil)
    StopRecording();
}

void TGraphicForm::PlaybackStopped() {
  const double current = CurrentFrameTime();
  ShownFrameStale = true;
  StaleFrameTime = current;
  if (!Recorder_)
    return;
  // Playback stops at the end of the time scale before the views have drawn
  // the last frame it brought: the recording ends once that frame is in it.
  if (Recorder_->HasFailed() || current < 0.0 || !Recorder_->IsNewFrame(current) ||
      !OpenGLDisplayPanel->isVisible())
    StopRecording();
  else
    RecordUntil = current;
}

double TGraphicForm::CurrentFrameTime() const {
  const TNeuronDataFile *data = Thread ? Thread->GetData() : nullptr;
  if (data == nullptr || data->GetFileName().empty())
    return -1.0;
  std::lock_guard lock(data->GetFrameLock());
  const double *frame = data->GetCurrentFrame();
  return frame != nullptr ? frame[0] : -1.0;
}

void TGraphicForm::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  if (Thread)
    Thread->Resume();
}

void TGraphicForm::closeEvent(QCloseEvent *event) {
  event->accept();
  StopRecording();
  if (Thread)
    Thread->Suspend();
}

void TGraphicForm::changeEvent(QEvent *event) {
  QWidget::changeEvent(event);
  // A minimised window is not painted: it would miss the frames playback brings.
  if (event->type() == QEvent::WindowStateChange && isMinimized() && IsRecording()) {
    const QString caption = Caption();
    StopRecording();
    ReportLater(caption, "The recording stopped: a minimised window draws no frames.");
  }
}

void TGraphicForm::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_F1) {
    HelpKeyPressed(event->modifiers().testFlag(Qt::ControlModifier));
    return;
  }
  FormKeyDown(*event);
  if (event->isAccepted())
    InvalidateView();
}

bool TGraphicForm::eventFilter(QObject *watched, QEvent *event) {
  if (watched != OpenGLDisplayPanel)
    return QWidget::eventFilter(watched, event);
  switch (event->type()) {
  case QEvent::MouseButtonPress:
    OpenGLDisplayPanelMouseDown(static_cast<QMouseEvent &>(*event));
    InvalidateView();
    return true;
  case QEvent::MouseMove:
    OpenGLDisplayPanelMouseMove(static_cast<QMouseEvent &>(*event));
    if (static_cast<QMouseEvent &>(*event).buttons() != Qt::NoButton)
      InvalidateView();
    return true;
  case QEvent::MouseButtonRelease:
    OpenGLDisplayPanelMouseUp(static_cast<QMouseEvent &>(*event));
    InvalidateView();
    return true;
  case QEvent::MouseButtonDblClick:
    OpenGLDisplayPanelDblClick(static_cast<QMouseEvent &>(*event));
    InvalidateView();
    return true;
  case QEvent::ContextMenu:
    OpenGLDisplayPanelContextPopup(static_cast<QContextMenuEvent &>(*event).pos());
    return true;
  default:
    return QWidget::eventFilter(watched, event);
  }
}
