#include "render/GraphicForm.h"

#include "render/OpenGLDisplayPanel.h"
#include "render/OpenGLViewThread.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>

TGraphicForm::TGraphicForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
  // Closing a graphic window only hides it; it must not end the application.
  setAttribute(Qt::WA_QuitOnClose, false);
  ContextMenu = new QMenu(this);
  ContextMenu->setObjectName("PopupMenu");
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
  StopRenderThread();
}

QWidget *TGraphicForm::ClientArea() const {
  return PlainArea != nullptr ? PlainArea : static_cast<QWidget *>(OpenGLDisplayPanel);
}

double TGraphicForm::GetLastDrawnTime() const {
  return Thread ? Thread->GetLastDrawnTime() : -1.0;
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
  if (!ContextMenu->isEmpty())
    ContextMenu->popup(OpenGLDisplayPanel->mapToGlobal(position));
}

void TGraphicForm::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  if (Thread)
    Thread->Resume();
}

void TGraphicForm::closeEvent(QCloseEvent *event) {
  event->accept();
  if (Thread)
    Thread->Suspend();
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
