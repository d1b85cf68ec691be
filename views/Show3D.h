#pragma once

#include "render/GraphicForm.h"

#include <optional>

class QAction;
class QMenu;
class TOpenGLThread3D;
class TOptions;
class TViewContext;

// The 3D graphic window: the neuron's morphology in the colours of the current
// frame, moved with the arrow keys, zoomed with + and -, turned with X, Y, Z and
// by dragging with the left button; a double click or showing the window again
// puts the model back. Its context menu shows and hides the XYZ axes and the
// palette bar where it was opened, sets the axis length and switches between
// the Wire and Diameter styles; those choices are kept in the Graphics3D
// settings. Its caption is the Graphics3D Title setting; it stays on top, and
// closing it only hides it and suspends its thread.
//
// The opener places it (Graphics3D Left, Top, Width, Height), shows it, calls
// UpdateItems when the check marks of the items change, and calls
// StopRenderThread before it destroys the window (the destructor does it too).
class TShow3DForm : public TGraphicForm {
  Q_OBJECT

public:
  // Creates the rendering thread, suspended until the window is shown, and
  // hands it the colours, the options of the settings, the palette and the
  // data. context must outlive the window.
  explicit TShow3DForm(TViewContext &context, QWidget *parent = nullptr);
  ~TShow3DForm() override;

  TOpenGLThread3D *RenderThread3D() const;

  // The items drawn changed: the next pass draws.
  void UpdateItems();

  // Translation 0, 0; rotations 0, 0, 0; scale 1, 1, 1.
  void ResetView();

protected:
  void HelpKeyPressed(bool about) override;
  void FormKeyDown(QKeyEvent &event) override;
  void OpenGLDisplayPanelMouseDown(QMouseEvent &event) override;
  void OpenGLDisplayPanelMouseMove(QMouseEvent &event) override;
  void OpenGLDisplayPanelMouseUp(QMouseEvent &event) override;
  void OpenGLDisplayPanelDblClick(QMouseEvent &event) override;
  void PopupMenuPopup(const QPoint &position) override;
  void showEvent(QShowEvent *event) override;
  void hideEvent(QHideEvent *event) override;
  void changeEvent(QEvent *event) override;

private:
  void CreateMenu();
  // The check marks from the settings (a triggered item toggles its own).
  void UpdateCheckMarks();
  // Asks for an axis length; nothing when cancelled, blank, 0 or less, or not
  // an integer (then after saying so).
  std::optional<int> AskAxisLength(const QString &prompt, int current);

  void ShowAxesMenuItemClick();
  void HideAxesMenuItemClick();
  void AxesSizePixelMenuItemClick();
  void AxesSizeumMenuItemClick();
  void ShowPaletteMenuItemClick();
  void HidePaletteMenuItemClick();
  void ShapeStyleWireMenuItemClick();
  void ShapeStyleDiameterMenuItemClick();
  void SetShapeStyle(int style);

  TOptions &Settings;
  TViewContext &Context;
  // From a left press on the panel to its release, or until the menu, another
  // window or hiding takes the rest of the drag from the panel.
  bool Dragging = false;
  QPoint LastMouse;
  QAction *ShowAxesMenuItem = nullptr;
  QAction *HideAxesMenuItem = nullptr;
  QAction *AxesSizePixelMenuItem = nullptr;
  QAction *AxesSizeumMenuItem = nullptr;
  QAction *ShowPaletteMenuItem = nullptr;
  QAction *HidePaletteMenuItem = nullptr;
  QMenu *ShapeStyleMenuItem = nullptr;
  QAction *ShapeStyleWireMenuItem = nullptr;
  QAction *ShapeStyleDiameterMenuItem = nullptr;
};
