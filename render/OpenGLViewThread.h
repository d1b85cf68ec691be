#pragma once

#include "render/OpenGLDisplayPanel.h"
#include "render/Thread.h"
#include "render/ViewGeometry.h"

#include <QColor>

#include <atomic>
#include <cstdint>

class TGraphicForm;
class TNeuronDataFile;

// The rendering thread of a graphic window. It draws nothing itself: each pass
// asks the GUI thread to run the projection setup (only after the panel was
// resized) and, when what the view shows has changed since it last drew, to
// draw a frame and swap it to the panel at once; then it sleeps for the sleep
// period. A pass that reports a frame has really drawn it. Every setter and
// every drawing step runs on the GUI thread, so they never overlap.
//
// What the thread sees changing by itself: the data's current frame and its
// colours, the checked items, the ranges and the projection, the panel's size
// and its exposure, the clear colour and the data set. Anything else a view
// shows (options, points, its transformation) the view reports with
// Invalidate. While nothing changes a pass draws nothing: the view keeps its
// picture, and its last drawn time stays the time of the frame it shows. An
// idle thread waits up to IdleWaitMs for a wake-up (Invalidate, a new frame, a
// resize, an expose), so that it neither spins nor misses a change.
//
// When Execute ends (terminated, or by an exception) the thread detaches from
// the panel, releases its context and tells its window through
// TGraphicForm::ReportThreadFinished.
//
// A view derives from it: it names its margins, draws its layers and records
// the frame time it drew with SetLastDrawnTime.
class TOpenGLViewThread : public TThread, public TPanelRenderer {
public:
  // Created suspended, on the GUI thread; owner gives the panel and the flags.
  TOpenGLViewThread(TGraphicForm &owner, const TDataWindow &initialWindow, int sleepPeriodMs);
  ~TOpenGLViewThread() override;

  // The clear colour from a window colour (red, green, blue / 255).
  void SetClearColorFromColor(const QColor &color, float alpha);
  void SetClearColor(float red, float green, float blue, float alpha);
  // Stores the data window and runs the projection setup at once; a view may
  // refuse a window (AcceptRanges), which then keeps the previous one.
  void SetRanges(double xMin, double xMax, double yMin, double yMax);
  // The data drawn from (not owned; it must outlive the thread or be set
  // again first); null draws no data layer. The thread follows its frames.
  void SetData(const TNeuronDataFile *data);
  const TNeuronDataFile *GetData() const { return Data; }

  // Tells the thread that what the view shows changed for a reason it cannot
  // see itself (options, points, the view's transformation): the next pass
  // draws, at once if the thread waits. Frames, items, ranges, the panel's
  // size and exposure need no call. Any thread.
  void Invalidate();

  // The time of the frame last drawn; -1.0 until a frame with data was drawn.
  double GetLastDrawnTime() const { return LastDrawnTime; }
  // True once the panel's context works.
  bool IsContextReady() const;
  // Passes of the loop so far.
  std::uint64_t GetPassCount() const { return Passes; }
  // Passes after which the panel showed the view as it is now: those that drew,
  // and those that found nothing changed since a frame that was shown.
  std::uint64_t GetFrameCount() const { return Frames; }
  // Frames drawn and swapped to the panel: the passes that found a change.
  std::uint64_t GetDrawCount() const { return Draws; }

  // How soon a pass that could not show its frame tries again, in ms.
  static constexpr int IdlePeriodMs = 15;
  // The longest an idle pass waits for a change, in ms.
  static constexpr int IdleWaitMs = 100;

  const TDataWindow &GetDataWindow() const { return Window; }
  const TViewGeometry &GetGeometry() const { return Geometry; }

protected:
  void Execute() override;
  void PaintGL(TOpenGLDisplayPanel &panel) override;

  // Whether SetRanges takes this data window.
  virtual bool AcceptRanges(const TDataWindow &window) const;
  // The view's margins around the data window, in pixels (GUI thread).
  virtual TMargins ComputeMargins() const = 0;
  // Draws the layers with the projection set and the colour buffer cleared.
  virtual void DrawLayers() = 0;
  // Fits Geometry to the panel; by default the data window widened by
  // ComputeMargins (GUI thread).
  virtual void FitGeometry(int panelLeft, int panelTop, int panelWidth, int panelHeight);
  // Loads the projection matrix of a frame; by default the orthographic view
  // extents without depth (GUI thread, context current).
  virtual void LoadProjection();
  // Called after every projection setup, the only place where the data window
  // and the view extents change: a view lays out here what depends on them
  // alone, instead of in every frame (GUI thread).
  virtual void ProjectionChanged() {}

  // Fits the view extents to the panel and the data window (GUI thread).
  void ProjectionSetup();
  void SetLastDrawnTime(double time) { LastDrawnTime = time; }
  // A line width or point size of the settings (logical pixels) in the panel's
  // device pixels, for glLineWidth and glPointSize (GUI thread).
  float DeviceWidth(float logical) const;
  TOpenGLDisplayPanel &Panel() const { return DisplayPanel; }

  TGraphicForm &Owner;
  const TNeuronDataFile *Data = nullptr;
  TDataWindow Window;
  TViewGeometry Geometry;

private:
  // Draws and swaps a frame, read into picture when one is given; false when
  // the panel could not show it.
  bool DrawFrame(QImage *picture);
  void ReleaseContext();
  bool NeedsDrawing() const;
  // A digest of the checked items' flags.
  std::uint64_t ItemsSignature() const;

  TOpenGLDisplayPanel &DisplayPanel;
  float ClearColor[4] = {1.0f, 1.0f, 1.0f, 0.0f};
  const int SleepPeriod;
  std::atomic<double> LastDrawnTime{-1.0};
  std::atomic<bool> Invalidated{true};
  // Data as the thread reads it outside the drawing steps.
  std::atomic<const TNeuronDataFile *> WatchedData{nullptr};
  int FrameListener = 0;
  std::atomic<std::uint64_t> DrawnItems{0};
  std::atomic<bool> FrameShown{false};
  QMetaObject::Connection ExposedConnection;
  std::atomic<std::uint64_t> Passes{0};
  std::atomic<std::uint64_t> Frames{0};
  std::atomic<std::uint64_t> Draws{0};
};
