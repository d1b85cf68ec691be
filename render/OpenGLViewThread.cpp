#include "render/OpenGLViewThread.h"

#include "data/NeuronDataFile.h"
#include "render/DevicePixels.h"
#include "render/GraphicForm.h"
#include "render/Rgb.h"

#include <GL/glu.h>
#include <qopengl.h>

TOpenGLViewThread::TOpenGLViewThread(TGraphicForm &owner, const TDataWindow &initialWindow,
                                     int sleepPeriodMs)
    : Owner(owner), Window(initialWindow), Geometry(initialWindow),
      DisplayPanel(*owner.DisplayPanel()), SleepPeriod(sleepPeriodMs > 0 ? sleepPeriodMs : 0) {
  DisplayPanel.SetRenderer(this);
  ExposedConnection = QObject::connect(&DisplayPanel, &TOpenGLDisplayPanel::Exposed, &DisplayPanel,
                                       [this] { Invalidate(); });
}

TOpenGLViewThread::~TOpenGLViewThread() {
  TerminateAndWait();
  QObject::disconnect(ExposedConnection);
  SetData(nullptr);
  if (DisplayPanel.GetRenderer() == this)
    DisplayPanel.SetRenderer(nullptr);
}

void TOpenGLViewThread::SetData(const TNeuronDataFile *data) {
  if (Data != nullptr && FrameListener != 0)
    Data->RemoveFrameListener(FrameListener);
  FrameListener = 0;
  Data = data;
  WatchedData = data;
  if (Data != nullptr)
    FrameListener = Data->AddFrameListener([this] { Invalidate(); });
  Invalidate();
}

void TOpenGLViewThread::Invalidate() {
  Invalidated = true;
  Wake();
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
  Invalidate();
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
      const bool attempted = NeedsDrawing();
      bool painted = false;
      if (attempted)
        Synchronize([this, &painted] {
          // A recording takes the frame from the back buffer as it is drawn.
          QImage picture;
          painted = DrawFrame(Owner.IsRecording() ? &picture : nullptr);
          if (painted)
            Owner.FrameDrawn(picture);
        });
      if (painted || (!attempted && FrameShown))
        ++Frames;
      ++Passes;
      SleepFor(std::chrono::milliseconds(SleepPeriod));
      // A panel that cannot show a frame yet is tried again soon. An idle view
      // waits longer: every change but the item flags (polled) wakes the thread.
      if (attempted && !painted) {
        if (SleepPeriod < IdlePeriodMs)
          WaitForWake(std::chrono::milliseconds(IdlePeriodMs - SleepPeriod));
      } else if (!NeedsDrawing() && SleepPeriod < IdleWaitMs) {
        WaitForWake(std::chrono::milliseconds(IdleWaitMs - SleepPeriod));
      }
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
  Invalidate();
}

void TOpenGLViewThread::FitGeometry(int panelLeft, int panelTop, int panelWidth, int panelHeight) {
  Geometry.Fit(Window, ComputeMargins(), panelLeft, panelTop, panelWidth, panelHeight);
}

void TOpenGLViewThread::LoadProjection() {
  // A window of no width or height has no projection; gluOrtho2D would refuse it.
  if (Geometry.ViewLeft != Geometry.ViewRight && Geometry.ViewBottom != Geometry.ViewTop)
    gluOrtho2D(Geometry.ViewLeft, Geometry.ViewRight, Geometry.ViewBottom, Geometry.ViewTop);
}

float TOpenGLViewThread::DeviceWidth(float logical) const {
  return DeviceLineWidth(logical, DisplayPanel.PixelRatio());
}

bool TOpenGLViewThread::NeedsDrawing() const {
  return Invalidated || ItemsSignature() != DrawnItems;
}

std::uint64_t TOpenGLViewThread::ItemsSignature() const {
  const TNeuronDataFile *data = WatchedData;
  if (data == nullptr || data->GetItemChecked() == nullptr)
    return 0;
  // FNV-1a over the flags, with the count folded in.
  std::uint64_t hash = 14695981039346656037ull ^ static_cast<std::uint64_t>(data->GetItemCount());
  for (std::int32_t i = 0; i < data->GetItemCount(); ++i)
    hash = (hash ^ data->GetItemChecked()[i].load(std::memory_order_relaxed)) * 1099511628211ull;
  return hash;
}

bool TOpenGLViewThread::DrawFrame(QImage *picture) {
  if (!DisplayPanel.isVisible())
    return false;
  // Whatever changes from here on is drawn by the next pass.
  Invalidated = false;
  DrawnItems = ItemsSignature();
  // Draws and swaps at once: the frame has reached the window when this
  // returns.
  const bool painted = DisplayPanel.PaintNow(picture);
  if (painted)
    ++Draws;
  else
    Invalidated = true;
  FrameShown = painted;
  DisplayPanel.CheckContext();
  return painted;
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
}

void TOpenGLViewThread::ReleaseContext() {
  if (DisplayPanel.GetRenderer() == this)
    DisplayPanel.SetRenderer(nullptr);
  if (DisplayPanel.isValid())
    DisplayPanel.doneCurrent();
}
