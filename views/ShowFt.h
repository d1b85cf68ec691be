#pragma once

#include "render/GraphicForm.h"
#include "views/SelectedPointInfo.h"

class QAction;
class TOpenGLThreadFt;
class TOptions;
class TViewContext;

// The F(t) graphic window: the variable over time at the points picked on the
// dendrogram, one curve per point, recorded frame by frame as playback visits
// the frames, over the time and variable scales of its Control Window. Its
// caption is the GraphicsFt Title setting; it stays on top, and closing it only
// hides it and suspends its thread.
//
// Its context menu deletes points ("Delete all points", and "Delete" in the
// point's entry under "List of points") and chooses their colours ("Color").
// The entries are drawn in their points' colours.
//
// The opener places it (GraphicsFt Left, Top, Width, Height), hands it its
// point list with SetPoints, shows it, calls AddPointMenuEntry for every point
// it adds later, ClearHistory when playback starts over, UpdateTimeScale and
// UpdateVariableScale when those change, and StopRenderThread before it
// destroys the window (the destructor does it too).
class TShowFtForm : public TGraphicForm {
  Q_OBJECT

public:
  // Creates the rendering thread, suspended until the window is shown, and
  // hands it the colours, the ranges, the line widths and the data; no points
  // yet. context must outlive the window.
  explicit TShowFtForm(TViewContext &context, QWidget *parent = nullptr);
  ~TShowFtForm() override;

  // Takes the list whose curves are drawn (not owned; it must outlive the
  // window) and builds one menu entry per point, in list order.
  void SetPoints(TSelectedPointList &points);
  // Appends the menu entry of a point just appended to the list.
  void AddPointMenuEntry(const TSelectedPointInfo &point);
  // Drops every point's samples: the curves start again at the next frame.
  // The points and their colours stay.
  void ClearHistory();

  // Read the time (variable) scale boxes again (a text that is not a number
  // keeps that end) and pass the ranges to the thread.
  void UpdateTimeScale();
  void UpdateVariableScale();

  TOpenGLThreadFt *RenderThreadFt() const;

protected:
  void HelpKeyPressed(bool about) override;
  void PopupMenuPopup(const QPoint &position) override;

private:
  void PassRanges();
  void PointsChanged();
  void RemoveAllEntries();
  // The position of a point's entry under "List of points" (-1 if gone).
  int EntryIndex(QAction *entry) const;

  void DeleteAllPointsMenuItemClick();
  void ColorMenuItemClick(QAction *entry);
  void DeleteMenuItemClick(QAction *entry);

  TOptions &Settings;
  TViewContext &Context;
  TSelectedPointList *Points = nullptr;
  double TimeMin = 0.0;
  double TimeMax = 0.0;
  double ValueMin = 0.0;
  double ValueMax = 0.0;
  QAction *DeleteAllPointsMenuItem = nullptr;
  QMenu *ListOfPointsMenu = nullptr;
};
