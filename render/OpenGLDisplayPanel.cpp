#include "render/OpenGLDisplayPanel.h"

#include "render/DevicePixels.h"
#include "render/OffscreenTarget.h"
#include "settings/MessageDialog.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <qopengl.h>

#include <malloc.h>

#include <algorithm>
#include <mutex>
#include <thread>

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

// The native window the panel draws on. Its input goes on to the panel widget
// as the widget's own events (the window lies at the panel's origin, so the
// positions stay), right presses with the context-menu request that X11 makes
// of them.
class TOpenGLDisplayPanel::TNativeWindow : public QWindow {
public:
  explicit TNativeWindow(TOpenGLDisplayPanel &panel) : Panel(panel) {
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(RequestedFormat());
    // The keys stay with the graphic window, where its key handling is.
    setFlag(Qt::WindowDoesNotAcceptFocus);
  }

protected:
  void exposeEvent(QExposeEvent *) override {
    if (!isExposed())
      return;
    Panel.EnsureContext();
    emit Panel.Exposed();
  }

  // An exposed window whose parts lost their pixels (uncovered, or grown by a
  // resize the frame drawn before had not seen) is asked to paint them.
  void paintEvent(QPaintEvent *) override {
    if (isExposed())
      emit Panel.Exposed();
  }

  bool event(QEvent *event) override {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      ForwardMouse(static_cast<QMouseEvent &>(*event));
      return true;
    case QEvent::Wheel:
      ForwardWheel(static_cast<QWheelEvent &>(*event));
      return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      ForwardKey(static_cast<QKeyEvent &>(*event));
      return true;
    case QEvent::ScreenChangeInternal:
      // Moved to another screen, maybe of another density.
      Panel.FollowPixelRatio();
      return QWindow::event(event);
    default:
      return QWindow::event(event);
    }
  }

private:
  void ForwardMouse(QMouseEvent &event) {
    // A widget gets the second press of a double click as the double click
    // alone.
    if (event.type() == QEvent::MouseButtonPress &&
        event.flags().testFlag(Qt::MouseEventCreatedDoubleClick))
      return;
    // Nor does it get moves without a button unless it tracks the mouse.
    if (event.type() == QEvent::MouseMove && event.buttons() == Qt::NoButton &&
        !Panel.hasMouseTracking())
      return;
    const QPointF scene = Panel.mapTo(Panel.window(), event.position());
    QMouseEvent copy(event.type(), event.position(), scene, event.globalPosition(), event.button(),
                     event.buttons(), event.modifiers(), event.pointingDevice());
    // An event made for a pointing device leaves its time in the device's
    // state, against which the toolkit times the next press for a double
    // click: a copy without it would make every second press come too late.
    copy.setTimestamp(event.timestamp());
    QCoreApplication::sendEvent(&Panel, &copy);
    event.setAccepted(copy.isAccepted());
    if (event.type() == QEvent::MouseButtonPress && event.button() == Qt::RightButton) {
      QContextMenuEvent menu(QContextMenuEvent::Mouse, event.position().toPoint(),
                             event.globalPosition().toPoint(), event.modifiers());
      QCoreApplication::sendEvent(&Panel, &menu);
    }
  }

  void ForwardWheel(QWheelEvent &event) {
    QWheelEvent copy(event.position(), event.globalPosition(), event.pixelDelta(),
                     event.angleDelta(), event.buttons(), event.modifiers(), event.phase(),
                     event.inverted(), event.source(), event.pointingDevice());
    copy.setTimestamp(event.timestamp());
    QCoreApplication::sendEvent(&Panel, &copy);
    event.setAccepted(copy.isAccepted());
  }

  void ForwardKey(QKeyEvent &event) {
    QKeyEvent copy(event.type(), event.key(), event.modifiers(), event.nativeScanCode(),
                   event.nativeVirtualKey(), event.nativeModifiers(), event.text(),
                   event.isAutoRepeat(), static_cast<quint16>(event.count()));
    copy.setTimestamp(event.timestamp());
    QCoreApplication::sendEvent(&Panel, &copy);
    event.setAccepted(copy.isAccepted());
  }

  TOpenGLDisplayPanel &Panel;
};

TOpenGLDisplayPanel::TOpenGLDisplayPanel(QWidget *parent) : QWidget(parent) {
  setObjectName("OpenGLDisplayPanel");
  if (DrawsOffscreen()) {
    Offscreen = std::make_unique<TOffscreenTarget>();
    return;
  }
  Window = new TNativeWindow(*this);
  // The container owns the window from here on.
  Container = QWidget::createWindowContainer(Window, this);
  Container->setFocusPolicy(Qt::NoFocus);
  DrawnRatio = PixelRatio();
}

TOpenGLDisplayPanel::~TOpenGLDisplayPanel() {
  ReleaseFonts();
  Context.reset();
  Offscreen.reset();
}

bool TOpenGLDisplayPanel::DrawsOffscreen() {
  return QGuiApplication::platformName() == QLatin1String("offscreen");
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
  // Every window swaps on the one GUI thread: waiting for the display's
  // refresh at each swap would divide the refresh rate among the windows.
  format.setSwapInterval(0);
  return format;
}

QWindow *TOpenGLDisplayPanel::NativeWindow() const {
  return Window;
}

QSurfaceFormat TOpenGLDisplayPanel::format() const {
  if (Context)
    return Context->format();
  return Window != nullptr ? Window->format() : RequestedFormat();
}

TGlyphFont &TOpenGLDisplayPanel::AddGlyphFont(const QString &name, int pointSize) {
  Fonts.push_back(std::make_unique<TGlyphFont>(name, pointSize));
  TGlyphFont &font = *Fonts.back();
  // Measured at the ratio the window will draw at, before the lists exist.
  font.SetPixelRatio(PixelRatio());
  if (MakeContextCurrent())
    font.Build();
  return font;
}

namespace {

// Mesa's software rasteriser allocates the memory of its tile bins anew for
// every frame and frees it afterwards. With glibc's default the freed heap top
// goes back to the system at once and every frame faults it in again, which on
// large cells costs as much as the drawing; keep up to this much instead.
constexpr int KeptHeapTop = 64 * 1024 * 1024;
// Setting the trim threshold also fixes glibc's threshold for blocks of their
// own mapping at 128 KB, so a frame read back for a recording (8 MB at
// 1920 x 1080) and its copy in the encoder's pipe buffer would be mapped and
// faulted in anew every frame. glibc's largest threshold (32 MB) keeps them in
// the heap, where the next frame reuses them.
constexpr int LargestHeapBlock = 32 * 1024 * 1024;

void KeepFreedHeapTop() {
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_TRIM_THRESHOLD, KeptHeapTop);
    mallopt(M_MMAP_THRESHOLD, LargestHeapBlock);
  });
}

// The views draw large arrays in parts (DrawInParts): the GUI thread sets up
// one part while Mesa's software rasteriser draws the one before on its own
// threads. By default it starts one thread per core, which then compete with
// the GUI thread for them; leave that thread a core of its own. Mesa reads the
// variable when the toolkit first opens the display's OpenGL, before main's
// application object is done, hence at start-up. A value the user set stays;
// other drivers ignore it.
[[maybe_unused]] const bool CoreLeftForSetup = [] {
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores > 1 && !qEnvironmentVariableIsSet("LP_NUM_THREADS"))
    qputenv("LP_NUM_THREADS", QByteArray::number(cores - 1));
  return true;
}();

} // namespace

bool TOpenGLDisplayPanel::EnsureContext() {
  if (Initialized)
    return true;
  if (Offscreen) {
    if (Failure != TContextFailure::None)
      return false;
    if (!Offscreen->Create() || !Offscreen->MakeCurrent(PixelSize().expandedTo({1, 1}))) {
      Failure =
          Offscreen->IsCreated() ? TContextFailure::MakeCurrent : TContextFailure::RenderingContext;
      return false;
    }
    return FinishContext();
  }
  // No native window yet (never shown): nothing failed, there is nothing to
  // draw on. A failed step is not tried again.
  if (Window->handle() == nullptr || Failure != TContextFailure::None)
    return false;
  auto context = std::make_unique<QOpenGLContext>();
  context->setFormat(RequestedFormat());
  if (!context->create()) {
    Failure = TContextFailure::RenderingContext;
    return false;
  }
  if (!context->makeCurrent(Window)) {
    Failure = TContextFailure::MakeCurrent;
    return false;
  }
  Context = std::move(context);
  BufferSize = PixelSize();
  return FinishContext();
}

bool TOpenGLDisplayPanel::FinishContext() {
  Initialized = true;
  KeepFreedHeapTop();
  FollowPixelRatio();
  for (const std::unique_ptr<TGlyphFont> &font : Fonts)
    font->Build();
  return true;
}

void TOpenGLDisplayPanel::FollowPixelRatio() {
  const qreal ratio = PixelRatio();
  const bool fontsStale = std::any_of(Fonts.begin(), Fonts.end(), [ratio](const auto &font) {
    return font->PixelRatio() != ratio;
  });
  if (ratio == DrawnRatio && !fontsStale)
    return;
  // Lists of the old ratio are deleted in their context; without a context
  // there are none. A context that cannot be made current now is tried again
  // at the next frame.
  const bool current = Initialized && MakeContextCurrent();
  if (Initialized && !current)
    return;
  DrawnRatio = ratio;
  for (const std::unique_ptr<TGlyphFont> &font : Fonts) {
    font->SetPixelRatio(ratio);
    if (current)
      font->Build();
  }
  // The margins follow the labels' widths, and every line width the ratio.
  emit Resized();
  emit Exposed();
}

bool TOpenGLDisplayPanel::MakeContextCurrent() {
  if (!EnsureContext())
    return false;
  if (Offscreen)
    return Offscreen->MakeCurrent(PixelSize().expandedTo({1, 1}));
  return Context->makeCurrent(Window) && QOpenGLContext::currentContext() == Context.get();
}

void TOpenGLDisplayPanel::makeCurrent() {
  if (Offscreen && Initialized)
    Offscreen->MakeCurrent(PixelSize().expandedTo({1, 1}));
  if (Context)
    Context->makeCurrent(Window);
}

void TOpenGLDisplayPanel::doneCurrent() {
  if (Offscreen)
    Offscreen->DoneCurrent();
  if (Context)
    Context->doneCurrent();
}

void TOpenGLDisplayPanel::ReleaseFonts() {
  // The lists die with the context; delete them while it still has a surface.
  if (!Initialized || !MakeContextCurrent())
    return;
  for (const std::unique_ptr<TGlyphFont> &font : Fonts)
    font->Release();
  doneCurrent();
}

bool TOpenGLDisplayPanel::IsExposed() const {
  if (Offscreen)
    return isVisible();
  return Window->isExposed();
}

qreal TOpenGLDisplayPanel::PixelRatio() const {
  return Window != nullptr ? Window->devicePixelRatio() : devicePixelRatioF();
}

QSize TOpenGLDisplayPanel::PixelSize() const {
  const qreal ratio = PixelRatio();
  return {DeviceLength(width(), ratio), DeviceLength(height(), ratio)};
}

void TOpenGLDisplayPanel::DrawWithRenderer() {
  const QSize size = PixelSize();
  glViewport(0, 0, size.width(), size.height());
  if (Renderer != nullptr)
    Renderer->PaintGL(*this);
}

QImage TOpenGLDisplayPanel::ReadBackBuffer() const {
  const QSize size = PixelSize();
  QImage image(size, QImage::Format_RGB32);
  if (image.isNull())
    return {};
  glReadBuffer(Offscreen ? TOffscreenTarget::ReadBuffer() : GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  // Little-endian BGRA bytes are RGB32's words; rows come bottom up. One pass
  // turns the rows over and makes them opaque.
  glReadPixels(0, 0, size.width(), size.height(), GL_BGRA, GL_UNSIGNED_BYTE, image.bits());
  const int w = size.width();
  for (int top = 0, bottom = size.height() - 1; top <= bottom; ++top, --bottom) {
    auto *upper = reinterpret_cast<QRgb *>(image.scanLine(top));
    auto *lower = reinterpret_cast<QRgb *>(image.scanLine(bottom));
    for (int x = 0; x < w; ++x) {
      const QRgb pixel = upper[x];
      upper[x] = lower[x] | 0xff000000u;
      lower[x] = pixel | 0xff000000u;
    }
  }
  return image;
}

bool TOpenGLDisplayPanel::PaintNow(QImage *picture) {
  if (!IsExposed() || !MakeContextCurrent())
    return false;
  // A ratio that changed without a screen change (the screen's own scale)
  // is found here; the fonts of this frame already follow it.
  FollowPixelRatio();
  // Off screen the frame stays in the framebuffer: there is nothing to swap.
  if (Offscreen) {
    DrawWithRenderer();
    if (picture != nullptr)
      *picture = ReadBackBuffer();
    return true;
  }
  // The driver takes the window's size for its buffers when the context is
  // created and after each swap: the first frame after a resize that came
  // before the first swap would go into buffers of the old size. That frame
  // is swapped once to size them.
  if (!Swapped && PixelSize() != BufferSize) {
    DrawWithRenderer();
    Context->swapBuffers(Window);
  }
  DrawWithRenderer();
  if (picture != nullptr)
    *picture = ReadBackBuffer();
  Context->swapBuffers(Window);
  Swapped = true;
  return true;
}

QImage TOpenGLDisplayPanel::grabFramebuffer() {
  if (!MakeContextCurrent())
    return {};
  DrawWithRenderer();
  return ReadBackBuffer();
}

void TOpenGLDisplayPanel::resizeEvent(QResizeEvent *event) {
  // The native window follows at once, so that the next frame has its size.
  if (Container != nullptr)
    Container->setGeometry(rect());
  QWidget::resizeEvent(event);
  emit Resized();
}

bool TOpenGLDisplayPanel::event(QEvent *event) {
  if (event->type() == QEvent::CursorChange && Window != nullptr)
    Window->setCursor(cursor());
  const bool result = QWidget::event(event);
  // The context and the fonts exist as soon as the panel is on screen.
  if (event->type() == QEvent::Show) {
    EnsureContext();
    // Off screen nothing else tells the views that they can draw.
    if (Offscreen)
      emit Exposed();
  }
  return result;
}

TContextFailure TOpenGLDisplayPanel::CheckContext() {
  if (isValid() || !isVisible() || size().isEmpty() || !IsExposed())
    return TContextFailure::None;
  TContextFailure failure = TContextFailure::DeviceContext;
  if ((Offscreen || Window->handle() != nullptr) && !EnsureContext())
    failure = Failure;
  if (isValid())
    return TContextFailure::None;
  ContextFailed = failure != TContextFailure::None;
  if (!FailureReported && failure != TContextFailure::None) {
    FailureReported = true;
    ReportContextFailure(failure);
  }
  return failure;
}

TContextFailure TOpenGLDisplayPanel::ProbeContext() {
  if (DrawsOffscreen()) {
    TOffscreenTarget target;
    if (!target.Create())
      return TContextFailure::RenderingContext;
    return target.MakeCurrent({1, 1}) ? TContextFailure::None : TContextFailure::MakeCurrent;
  }
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
