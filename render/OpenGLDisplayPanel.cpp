#include "render/OpenGLDisplayPanel.h"

#include "settings/MessageDialog.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QResizeEvent>
#include <QTimer>
#include <QWindow>

const char *ContextFailureMessage(TContextFailure failure) {
  switch (failure) {
  case TContextFailure::None:
    break;
  case TContextFailure::DeviceContext:
    return "Could not create a device context";
  case TContextFailure::RenderingContext:
    return "Could not create a rendering context";
  case TContextFailure::MakeCurrent:
    return "Could not create a make rendering context current";
  }
  return "";
}

TOpenGLDisplayPanel::TOpenGLDisplayPanel(QWidget *parent) : QOpenGLWidget(parent) {
  setObjectName("OpenGLDisplayPanel");
  setFormat(RequestedFormat());
}

TOpenGLDisplayPanel::~TOpenGLDisplayPanel() {
  // The context dies in QOpenGLWidget's destructor, after this part of the
  // object; its signal must not reach it.
  if (QOpenGLContext *ctx = context())
    disconnect(ctx, nullptr, this, nullptr);
  ReleaseFonts();
}

QSurfaceFormat TOpenGLDisplayPanel::RequestedFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  format.setRedBufferSize(8);
  format.setGreenBufferSize(8);
  format.setBlueBufferSize(8);
  // 24 bits is the deepest depth buffer that the common drivers offer.
  format.setDepthBufferSize(24);
  return format;
}

TGlyphFont &TOpenGLDisplayPanel::AddGlyphFont(const QString &name, int pointSize) {
  Fonts.push_back(std::make_unique<TGlyphFont>(name, pointSize));
  TGlyphFont &font = *Fonts.back();
  if (MakeContextCurrent())
    font.Build();
  return font;
}

bool TOpenGLDisplayPanel::MakeContextCurrent() {
  if (!isValid())
    return false;
  makeCurrent();
  return QOpenGLContext::currentContext() == context();
}

void TOpenGLDisplayPanel::initializeGL() {
  // A new context (first show, or a move to another top-level window) gets
  // fresh lists; the old ones went with the old context.
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { ReleaseFonts(); });
  for (const std::unique_ptr<TGlyphFont> &font : Fonts)
    font->Build();
}

void TOpenGLDisplayPanel::ReleaseFonts() {
  if (!isValid())
    return;
  makeCurrent();
  for (const std::unique_ptr<TGlyphFont> &font : Fonts)
    font->Release();
  doneCurrent();
}

void TOpenGLDisplayPanel::paintGL() {
  if (Renderer != nullptr)
    Renderer->PaintGL(*this);
}

void TOpenGLDisplayPanel::resizeEvent(QResizeEvent *event) {
  QOpenGLWidget::resizeEvent(event);
  emit Resized();
}

TContextFailure TOpenGLDisplayPanel::CheckContext() {
  if (isValid() || !isVisible() || size().isEmpty())
    return TContextFailure::None;
  const QWindow *window = this->window()->windowHandle();
  if (window != nullptr && !window->isExposed())
    return TContextFailure::None;
  const TContextFailure failure = DiagnoseFailure();
  ContextFailed = failure != TContextFailure::None;
  if (!FailureReported && failure != TContextFailure::None) {
    FailureReported = true;
    ReportContextFailure(failure);
  }
  return failure;
}

TContextFailure TOpenGLDisplayPanel::ProbeContext() {
  QOffscreenSurface surface;
  surface.setFormat(RequestedFormat());
  surface.create();
  if (!surface.isValid())
    return TContextFailure::DeviceContext;
  QOpenGLContext context;
  context.setFormat(RequestedFormat());
  if (!context.create())
    return TContextFailure::RenderingContext;
  if (!context.makeCurrent(&surface))
    return TContextFailure::MakeCurrent;
  context.doneCurrent();
  return TContextFailure::None;
}

void TOpenGLDisplayPanel::ReportContextFailure(TContextFailure failure) {
  const QString text = ContextFailureMessage(failure);
  // No parent, so that the box does not go with a window destroyed while it is
  // open.
  QTimer::singleShot(0, QCoreApplication::instance(), [text] {
    ShowMessageBox(nullptr, QGuiApplication::applicationDisplayName(), text, QMessageBox::NoIcon,
                   QMessageBox::Ok);
  });
}

TContextFailure TOpenGLDisplayPanel::DiagnoseFailure() {
  QWindow *window = this->window()->windowHandle();
  if (window == nullptr)
    return TContextFailure::DeviceContext;
  // The widget's own attempt leaves no trace of which step failed; repeat the
  // steps with a context of the same format.
  QOpenGLContext probe;
  probe.setFormat(format());
  if (!probe.create())
    return TContextFailure::RenderingContext;
  if (!probe.makeCurrent(window))
    return TContextFailure::MakeCurrent;
  probe.doneCurrent();
  return TContextFailure::RenderingContext;
}
