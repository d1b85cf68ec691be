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
// resized) and to repaint the panel at once, then sleeps for the sleep period.
// The repaint runs PaintGL inside the panel's paint, so a pass that reports a
// frame has really drawn it. Every setter and every drawing step runs on the
// GUI thread, so they never overlap.
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
  // The data drawn from (not owned); null draws no data layer.
  void SetData(const TNeuronDataFile *data) { Data = data; }
  const TNeuronDataFile *GetData() const { return Data; }

  // Tells the thread that what the view shows changed for a reason it cannot
  // see itself (options, items, points, the view's transformation): the next
  // pass draws. Frames, ranges and the panel's size need no call. GUI thread.
  void Invalidate() { Invalidated = true; }

  // The time of the frame last drawn; -1.0 until a frame with data was drawn.
  double GetLastDrawnTime() const { return LastDrawnTime; }
  // True once the panel's context works.
  bool IsContextReady() const;
  // Passes of the loop and frames painted so far (paints outside the loop, e.g.
  // after an expose, count too).
  std::uint64_t GetPassCount() const { return Passes; }
  std::uint64_t GetFrameCount() const { return Frames; }

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
  TOpenGLDisplayPanel &Panel() const { return DisplayPanel; }

  TGraphicForm &Owner;
  const TNeuronDataFile *Data = nullptr;
  TDataWindow Window;
  TViewGeometry Geometry;

private:
  void DrawFrame();
  void ReleaseContext();

  TOpenGLDisplayPanel &DisplayPanel;
  float ClearColor[4] = {1.0f, 1.0f, 1.0f, 0.0f};
  const int SleepPeriod;
  std::atomic<double> LastDrawnTime{-1.0};
  std::atomic<bool> Invalidated{true};
  std::atomic<std::uint64_t> Passes{0};
  std::atomic<std::uint64_t> Frames{0};
};
