#pragma once

#include "render/GlyphFont.h"

#include <QOpenGLWidget>

#include <memory>
#include <vector>

class TOpenGLDisplayPanel;

// What draws on a panel; the panel calls it inside its paint, with its context
// current and the viewport set to the panel.
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

// The surface a graphic window draws on: a QOpenGLWidget with a compatibility
// profile context (immediate mode, display lists, selection), double-buffered
// RGBA with a depth buffer. It owns the glyph fonts of its context: they are
// built when the context is created and released with it.
class TOpenGLDisplayPanel : public QOpenGLWidget {
  Q_OBJECT

public:
  explicit TOpenGLDisplayPanel(QWidget *parent = nullptr);
  ~TOpenGLDisplayPanel() override;

  // The format every panel asks for.
  static QSurfaceFormat RequestedFormat();

  // Tries, off screen, the steps a panel's context needs: a surface, a context
  // of the requested format, making it current. A window must not hold a panel
  // when they fail: the toolkit cannot compose such a window.
  static TContextFailure ProbeContext();
  // Shows the failure's message in a box with the application's name, after the
  // current event (never from inside a drawing step, where a modal box would
  // hold up the rendering thread's Synchronize while it is open).
  static void ReportContextFailure(TContextFailure failure);

  // Adds a font whose lists are built in this panel's context (at once when the
  // context exists). The reference stays valid as long as the panel.
  TGlyphFont &AddGlyphFont(const QString &name, int pointSize);

  // The renderer called by paintGL; null draws only the clear colour of the
  // context (nothing at all before the first renderer).
  void SetRenderer(TPanelRenderer *renderer) { Renderer = renderer; }
  TPanelRenderer *GetRenderer() const { return Renderer; }

  // Makes the panel's context current for direct OpenGL work outside paintGL
  // (selection from a mouse handler). False when the context does not exist.
  bool MakeContextCurrent();

  // When the panel is shown and exposed but has no working context, works out
  // why and reports it once (ReportContextFailure). Returns the failure found
  // (None while the panel works or is not yet exposed).
  TContextFailure CheckContext();
  // True once CheckContext found that the context cannot work.
  bool HasContextFailed() const { return ContextFailed; }

signals:
  // The panel's size changed.
  void Resized();

protected:
  void initializeGL() override;
  void paintGL() override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void ReleaseFonts();
  TContextFailure DiagnoseFailure();

  TPanelRenderer *Renderer = nullptr;
  std::vector<std::unique_ptr<TGlyphFont>> Fonts;
  bool FailureReported = false;
  bool ContextFailed = false;
};
