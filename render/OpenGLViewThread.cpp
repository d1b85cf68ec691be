#include "render/OpenGLViewThread.h"

#include "render/GraphicForm.h"
#include "render/Rgb.h"

#include <GL/glu.h>
#include <qopengl.h>

TOpenGLViewThread::TOpenGLViewThread(TGraphicForm &owner, const TDataWindow &initialWindow,
                                     int sleepPeriodMs)
    : Owner(owner), Window(initialWindow), Geometry(initialWindow),
      DisplayPanel(*owner.DisplayPanel()), SleepPeriod(sleepPeriodMs > 0 ? sleepPeriodMs : 0) {
  DisplayPanel.SetRenderer(this);
}

TOpenGLViewThread::~TOpenGLViewThread() {
  TerminateAndWait();
  if (DisplayPanel.GetRenderer() == this)
    DisplayPanel.SetRenderer(nullptr);
}

void TOpenGLViewThread::SetClearColorFromColor(const QColor &color, float alpha) {
  const TRgb rgb = ToRgb(color);
  SetClearColor(rgb[0], rgb[1], rgb[2], alpha);
}

void TOpenGLViewThread::SetClearColor(float red, float green, float blue, float alpha) {
  // Applied by every frame drawing, which makes its own context current first.
  ClearColor[0] = red;
  ClearColor[1] = green;
  ClearColor[2] = blue;
  ClearColor[3] = alpha;
}

void TOpenGLViewThread::SetRanges(double xMin, double xMax, double yMin, double yMax) {
  const TDataWindow window{xMin, xMax, yMin, yMax};
  if (!AcceptRanges(window))
    return;
  Window = window;
  Synchronize([this] { ProjectionSetup(); });
}

bool TOpenGLViewThread::AcceptRanges(const TDataWindow &) const {
  return true;
}

bool TOpenGLViewThread::IsContextReady() const {
  return DisplayPanel.isValid();
}

void TOpenGLViewThread::Execute() {
  try {
    while (!IsTerminated()) {
      WaitWhileSuspended();
      if (IsTerminated())
        break;
      if (Owner.TakeProjectionNeeded())
        Synchronize([this] { ProjectionSetup(); });
      Synchronize([this] {
        DrawFrame();
        Owner.FrameDrawn();
      });
      ++Passes;
      SleepFor(std::chrono::milliseconds(SleepPeriod));
    }
  } catch (...) {
    // The loop ends; the context is still released and the window told.
  }
  try {
    Synchronize([this] { ReleaseContext(); });
  } catch (...) {
    // Releasing cannot fail in a way that could be handled here.
  }
  Owner.ReportThreadFinished();
}

void TOpenGLViewThread::ProjectionSetup() {
  FitGeometry(DisplayPanel.x(), DisplayPanel.y(), DisplayPanel.width(), DisplayPanel.height());
  ProjectionChanged();
}

void TOpenGLViewThread::FitGeometry(int panelLeft, int panelTop, int panelWidth, int panelHeight) {
  Geometry.Fit(Window, ComputeMargins(), panelLeft, panelTop, panelWidth, panelHeight);
}

void TOpenGLViewThread::LoadProjection() {
  // A window of no width or height has no projection; gluOrtho2D would refuse it.
  if (Geometry.ViewLeft != Geometry.ViewRight && Geometry.ViewBottom != Geometry.ViewTop)
    gluOrtho2D(Geometry.ViewLeft, Geometry.ViewRight, Geometry.ViewBottom, Geometry.ViewTop);
}

void TOpenGLViewThread::DrawFrame() {
  if (!DisplayPanel.isVisible())
    return;
  // Paints at once (not at the next event loop turn): PaintGL has run, and the
  // frame reached the window, when this returns.
  DisplayPanel.repaint();
  DisplayPanel.CheckContext();
}

void TOpenGLViewThread::PaintGL(TOpenGLDisplayPanel &) {
  glClearColor(ClearColor[0], ClearColor[1], ClearColor[2], ClearColor[3]);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  LoadProjection();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  DrawLayers();
  glFlush();
  ++Frames;
}

void TOpenGLViewThread::ReleaseContext() {
  if (DisplayPanel.GetRenderer() == this)
    DisplayPanel.SetRenderer(nullptr);
  if (DisplayPanel.isValid())
    DisplayPanel.doneCurrent();
}
