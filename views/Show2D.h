#pragma once

#include "render/GraphicForm.h"
#include "views/SelectedPointInfo.h"
#include "views/Show2DThread.h"

#include <array>
#include <string>

class QAction;
class TOptions;
class TViewContext;

// The 2D graphic window: the checked items as a dendrogram in the current
// frame's colours, with a 100 um scale bar, an optional palette bar and the
// F(t) points marked. A left click on a segment answers, by the select point
// mode, with its address, distance, diameter or value, or adds it to the F(t)
// points; the context menu chooses the mode and shows or hides the markers and
// the palette bar. Mode, markers and palette live in the Graphics2D settings.
//
// The opener places it (Graphics2D Left, Top, Width, Height), hands it the F(t)
// points (SetSelectedPoints) before showing it, calls UpdateLayout when items
// are checked or unchecked, and StopRenderThread before it destroys the window
// (the destructor does it too).
class TShow2DForm : public TGraphicForm {
  Q_OBJECT

public:
  // Creates the rendering thread, suspended until the window is shown, and
  // hands it the spacings, line widths, mode, ranges, data, palette and the
  // saved palette bar. context must outlive the window.
  explicit TShow2DForm(TViewContext &context, QWidget *parent = nullptr);
  ~TShow2DForm() override;

  // The F(t) points to mark (not owned; the opener's list outlives the window).
  void SetSelectedPoints(TSelectedPointList &points);
  // Lays the dendrogram out again for the data's checked items.
  void UpdateLayout();
  // Points of the list were added, deleted or recoloured: the markers change.
  void SelectedPointsChanged();

  TOpenGLThread2D *RenderThread2D() const;

  double GetDistanceMax() const { return DistanceMax; }
  double GetTotalHeight() const { return TotalHeight; }
  // The result of the last click: item, section, segment (1-based; 0 = nothing
  // hit; -1 = more than one point), and the value part of its answer.
  const TSelectionResult &GetSelectionResult() const { return SelectionResult; }
  const std::string &GetQueryValueText() const { return QueryValueText; }

protected:
  void HelpKeyPressed(bool about) override;
  void OpenGLDisplayPanelMouseDown(QMouseEvent &event) override;
  void PopupMenuPopup(const QPoint &position) override;

private:
  void CreatePopupMenu();
  void SelectPointAction(QAction *item);
  void ShowHidePointsMenuItemClick();
  void ShowPaletteMenuItemClick();
  void HidePaletteMenuItemClick();
  void UpdatePointsCaption();
  void PassRanges();

  TOptions &Settings;
  TViewContext &Context;
  const double ItemSpacing;
  const double LevelSpacing;
  double DistanceMax = 0.0;
  double TotalHeight = 0.0;
  TSelectionResult SelectionResult{-1, -1, -1};
  std::string QueryValueText;

  QAction *ShowHidePointsMenuItem = nullptr;
};
