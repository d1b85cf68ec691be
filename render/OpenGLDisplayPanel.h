#pragma once

#include "render/GlyphFont.h"

#include <QImage>
#include <QSurfaceFormat>
#include <QWidget>

#include <memory>
#include <vector>

class QOpenGLContext;
class QWindow;
class TOffscreenTarget;
class TOpenGLDisplayPanel;

// What draws on a panel; the panel calls it with its context current and the
// viewport set to the panel.
class TPanelRenderer {
public:
  virtual ~TPanelRenderer() = default;
  virtual void PaintGL(TOpenGLDisplayPanel &panel) = 0;
};

// Why a panel has no working OpenGL context.
enum class TContextFailure {
  None,
  // The panel has no native window to draw on.
  DeviceContext,
  // No OpenGL context can be created for it.
  RenderingContext,
  // A context exists but cannot be made current on the panel's window.
  MakeCurrent,
};

// The message shown for a failure ("" for None).
const char *ContextFailureMessage(TContextFailure failure);

// The surface a graphic window draws on: a native window of its own inside the
// widget, with a compatibility profile context (immediate mode, display lists,
// selection), double-buffered RGBA with a depth buffer. A frame is drawn into
// the window's back buffer and swapped, without the off-screen framebuffer and
// the composition into the top-level window that a QOpenGLWidget costs.
//
// The native window passes its mouse, wheel, key and context-menu events on to
// the panel widget, in panel coordinates, so that event filters and parents
// see them as a plain widget's. It never takes the keyboard focus.
//
// The panel owns the glyph fonts of its context: they are built when the
// context is created and released with it. The context lives as long as the
// panel; hiding and showing keep it.
//
// The window's buffer has device pixels, the panel's size and its events count
// in logical ones (DevicePixels.h). The fonts are rasterised at the window's
// device pixel ratio; when the ratio changes (the window moved to a screen of
// another density) they are built again and the panel reports itself resized,
// so that its view fits its projection and draws again at the new ratio.
//
// Without a display (the toolkit's "offscreen" platform) the panel draws into
// an off-screen target instead (TOffscreenTarget): no native window, a frame
// drawn into a framebuffer that the picture is read from, nothing swapped. The
// panel counts as exposed while it is visible. Everything else, the renderer,
// the fonts and the reading back, is the same.
class TOpenGLDisplayPanel : public QWidget {
  Q_OBJECT

public:
  explicit TOpenGLDisplayPanel(QWidget *parent = nullptr);
  ~TOpenGLDisplayPanel() override;

  // The format every panel asks for.
  static QSurfaceFormat RequestedFormat();
  // Whether panels draw off screen: the application runs on the toolkit's
  // "offscreen" platform, which has no OpenGL of its own.
  static bool DrawsOffscreen();

  // Tries, off screen, the steps a panel's context needs: a surface, a context
  // of the requested format, making it current. A window must not hold a panel
  // when they fail: the toolkit cannot show such a window.
  static TContextFailure ProbeContext();
  // Shows the failure's message in a box with the application's name, after the
  // current event (never from inside a drawing step, where a modal box would
  // hold up the rendering thread's Synchronize while it is open).
  static void ReportContextFailure(TContextFailure failure);

  // Adds a font whose lists are built in this panel's context (at once when the
  // context exists). The reference stays valid as long as the panel.
  TGlyphFont &AddGlyphFont(const QString &name, int pointSize);

  // The device pixels per logical pixel of the native window.
  qreal PixelRatio() const;
  // The native window's buffer size in device pixels.
  QSize PixelSize() const;

  // The renderer that draws the frames; null draws nothing.
  void SetRenderer(TPanelRenderer *renderer) { Renderer = renderer; }
  TPanelRenderer *GetRenderer() const { return Renderer; }

  // Makes the panel's context current for direct OpenGL work outside a frame
  // (selection from a mouse handler). False when the context does not exist.
  bool MakeContextCurrent();

  // When the panel is shown and exposed but has no working context, works out
  // why and reports it once (ReportContextFailure). Returns the failure found
  // (None while the panel works or is not yet exposed).
  TContextFailure CheckContext();
  // True once CheckContext found that the context cannot work.
  bool HasContextFailed() const { return ContextFailed; }

  // Whether the native window can be drawn on now (mapped and not minimised).
  bool IsExposed() const;
  // Draws a frame with the renderer and swaps it to the window, before
  // returning. False, with nothing drawn, when the window is not exposed or the
  // context does not work. With picture, the frame is also read from the back
  // buffer into it before the swap: what the window shows, without drawing it
  // a second time.
  bool PaintNow(QImage *picture = nullptr);

  // True once the context exists and its fonts are built.
  bool isValid() const { return Initialized; }
  QOpenGLContext *context() const { return Context.get(); }
  QSurfaceFormat format() const;
  // Makes the context current on the panel's window (nothing without one);
  // doneCurrent releases it.
  void makeCurrent();
  void doneCurrent();
  // Draws a frame with the renderer into the back buffer, without swapping it,
  // and reads it back: the picture the next frame would show. Null before the
  // context exists.
  QImage grabFramebuffer();

  // The native window, for tests that deliver events to it; null off screen.
  QWindow *NativeWindow() const;

signals:
  // The panel's size changed.
  void Resized();
  // The window became exposed, or part of it must be drawn again.
  void Exposed();

protected:
  void resizeEvent(QResizeEvent *event) override;
  bool event(QEvent *event) override;

private:
  class TNativeWindow;

  // Creates the context on first use and builds the fonts; false, with the
  // failure noted, when a step fails.
  bool EnsureContext();
  // Rasterises the fonts again when the window's ratio is not theirs, and
  // asks for a new fit and frame when the ratio changed (leaves the context
  // current when it exists).
  void FollowPixelRatio();
  // Builds the fonts once the context is current for the first time.
  bool FinishContext();
  void DrawWithRenderer();
  // The back buffer's pixels, top row first (context current).
  QImage ReadBackBuffer() const;
  void ReleaseFonts();

  TPanelRenderer *Renderer = nullptr;
  std::vector<std::unique_ptr<TGlyphFont>> Fonts;
  TNativeWindow *Window = nullptr;
  QWidget *Container = nullptr;
  std::unique_ptr<QOpenGLContext> Context;
  std::unique_ptr<TOffscreenTarget> Offscreen;
  bool Initialized = false;
  // The size the window had when the context was created, and whether a frame
  // was swapped since.
  QSize BufferSize;
  bool Swapped = false;
  // The ratio the panel last followed (fonts and fit).
  qreal DrawnRatio = 1.0;
  TContextFailure Failure = TContextFailure::None;
  bool FailureReported = false;
  bool ContextFailed = false;
};
