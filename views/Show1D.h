#pragma once

#include "render/GraphicForm.h"

class TOpenGLThread1D;
class TOptions;
class TViewContext;

// The 1D graphic window: the current frame's values of the checked items
// against the path distance from each item's start, over the variable scale of
// its Control Window. Its caption is the Graphics1D Title setting; it stays on
// top, and closing it only hides it and suspends its thread.
//
// The opener places it (Graphics1D Left, Top, Width, Height), shows it, calls
// UpdateVariableScale and UpdateDistanceRange when those change, and calls
// StopRenderThread before it destroys the window (the destructor does it too).
class TShow1DForm : public TGraphicForm {
  Q_OBJECT

public:
  // Creates the rendering thread, suspended until the window is shown, and
  // hands it the colours, the ranges, the line widths and the data. context
  // must outlive the window.
  explicit TShow1DForm(TViewContext &context, QWidget *parent = nullptr);
  ~TShow1DForm() override;

  // Reads the variable scale boxes again (a text that is not a number keeps
  // that end) and passes the ranges to the thread.
  void UpdateVariableScale();
  // Takes the distance axis from the data's checked items and passes the ranges
  // to the thread; with no item checked the thread keeps its old ranges.
  void UpdateDistanceRange();

  TOpenGLThread1D *RenderThread1D() const;

  double GetDistanceMax() const { return DistanceMax; }
  double GetValueMin() const { return ValueMin; }
  double GetValueMax() const { return ValueMax; }

protected:
  void HelpKeyPressed(bool about) override;

private:
  void ReadVariableScale();
  void PassRanges();

  TOptions &Settings;
  TViewContext &Context;
  double DistanceMin = 0.0;
  double DistanceMax = 0.0;
  double ValueMin = 0.0;
  double ValueMax = 0.0;
};
