#include "views/Show3D.h"

#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"
#include "views/Show3DThread.h"
#include "views/ViewContext.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <mutex>

namespace {

QAction *AddItem(QMenu &menu, const char *name, const char *caption, bool checkable = false) {
  QAction *action = menu.addAction(QString::fromLatin1(caption));
  action->setObjectName(QString::fromLatin1(name));
  action->setCheckable(checkable);
  return action;
}

} // namespace

TShow3DForm::TShow3DForm(TViewContext &context, QWidget *parent)
    : TGraphicForm(parent), Settings(TOptions::Instance()), Context(context) {
  setWindowTitle(SettingsText(Settings.Graphics3D.Title));
  SetPanelColor(Qt::white);
  CreateMenu();
  UpdateCheckMarks();

  const TOptions::TGraphics3DSettings &options = Settings.Graphics3D;
  auto thread = std::make_unique<TOpenGLThread3D>(*this, Settings.Data.SleepPeriod);
  {
    std::lock_guard lock(WindowLock());
    thread->SetClearColorFromColor(PanelColor(), 0.0f);
    thread->SetAxisColors(QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255));
    thread->SetAxisOrigin(options.AxisLeft, options.AxisTop);
    thread->SetAxisLengthPixel(options.AxisLengthPixel);
    thread->SetAxisLengthum(options.AxisLengthum);
    thread->SetAxisLengthMode(options.AxisLengthMode);
    thread->SetAxisLineWidth(options.AxisLineWidth);
    thread->SetShowAxes(options.ShowXYZAxes);
    thread->SetGraphicLineWidth(options.GraphicLineWidth);
    thread->SetPalettePosition(options.PaletteLeft, options.PaletteTop);
    thread->SetShowPalette(options.ShowPalette);
    thread->SetShapeStyle(options.ShapeStyle);
    thread->SetPalette(&Context.GetViewPalette());
    thread->SetData(&Context.GetViewData());
  }
  AttachRenderThread(std::move(thread));
}

TShow3DForm::~TShow3DForm() {
  StopRenderThread();
}

TOpenGLThread3D *TShow3DForm::RenderThread3D() const {
  return static_cast<TOpenGLThread3D *>(RenderThread());
}

void TShow3DForm::CreateMenu() {
  QMenu &menu = PopupMenu();
  ShowAxesMenuItem = AddItem(menu, "ShowAxesMenuItem", "Show axes");
  HideAxesMenuItem = AddItem(menu, "HideAxesMenuItem", "Hide axes");
  AxesSizePixelMenuItem = AddItem(menu, "AxesSizePixelMenuItem", "Axes size (pixel)", true);
  AxesSizeumMenuItem = AddItem(menu, "AxesSizeumMenuItem", "Axes size (um)", true);
  menu.addSeparator();
  ShowPaletteMenuItem = AddItem(menu, "ShowPaletteMenuItem", "Show palette");
  HidePaletteMenuItem = AddItem(menu, "HidePaletteMenuItem", "Hide palette");
  menu.addSeparator();
  ShapeStyleMenuItem = menu.addMenu(QStringLiteral("Shape style"));
  ShapeStyleMenuItem->setObjectName(QStringLiteral("ShapeStyleMenuItem"));
  ShapeStyleWireMenuItem = AddItem(*ShapeStyleMenuItem, "ShapeStyleWireMenuItem", "Wire", true);
  ShapeStyleDiameterMenuItem =
      AddItem(*ShapeStyleMenuItem, "ShapeStyleDiameterMenuItem", "Diameter", true);

  connect(ShowAxesMenuItem, &QAction::triggered, this, &TShow3DForm::ShowAxesMenuItemClick);
  connect(HideAxesMenuItem, &QAction::triggered, this, &TShow3DForm::HideAxesMenuItemClick);
  connect(AxesSizePixelMenuItem, &QAction::triggered, this,
          &TShow3DForm::AxesSizePixelMenuItemClick);
  connect(AxesSizeumMenuItem, &QAction::triggered, this, &TShow3DForm::AxesSizeumMenuItemClick);
  connect(ShowPaletteMenuItem, &QAction::triggered, this, &TShow3DForm::ShowPaletteMenuItemClick);
  connect(HidePaletteMenuItem, &QAction::triggered, this, &TShow3DForm::HidePaletteMenuItemClick);
  connect(ShapeStyleWireMenuItem, &QAction::triggered, this,
          &TShow3DForm::ShapeStyleWireMenuItemClick);
  connect(ShapeStyleDiameterMenuItem, &QAction::triggered, this,
          &TShow3DForm::ShapeStyleDiameterMenuItemClick);
}

void TShow3DForm::UpdateCheckMarks() {
  const TOptions::TGraphics3DSettings &options = Settings.Graphics3D;
  AxesSizePixelMenuItem->setChecked(options.AxisLengthMode == TOpenGLThread3D::AxisLengthInPixels);
  AxesSizeumMenuItem->setChecked(options.AxisLengthMode == TOpenGLThread3D::AxisLengthInUnits);
  ShapeStyleWireMenuItem->setChecked(options.ShapeStyle == TOpenGLThread3D::Wire);
  ShapeStyleDiameterMenuItem->setChecked(options.ShapeStyle == TOpenGLThread3D::Diameter);
}

void TShow3DForm::UpdateItems() {
  if (TOpenGLThread3D *thread = RenderThread3D())
    thread->Invalidate();
}

void TShow3DForm::ResetView() {
  if (TOpenGLThread3D *thread = RenderThread3D()) {
    thread->SetTranslation(0.0, 0.0);
    thread->SetRotation(0.0, 0.0, 0.0);
    thread->SetScale(1.0, 1.0, 1.0);
  }
}

void TShow3DForm::HelpKeyPressed(bool about) {
  Context.ShowHelpWindow(about);
}

void TShow3DForm::FormKeyDown(QKeyEvent &event) {
  TOpenGLThread3D *thread = RenderThread3D();
  if (thread == nullptr) {
    event.ignore();
    return;
  }
  const bool shift = event.modifiers().testFlag(Qt::ShiftModifier);
  const bool ctrl = event.modifiers().testFlag(Qt::ControlModifier);
  const bool keypad = event.modifiers().testFlag(Qt::KeypadModifier);
  // The Shift that types the main keyboard's "+" ("=" shifted on many
  // layouts) is not the user asking for the fine step.
  const bool fine = shift && (keypad || event.key() != Qt::Key_Plus);
  const double move = shift ? 1.0 : 10.0;
  const double zoom = fine ? 0.01 : 0.1;
  // Without Ctrl the letters turn clockwise seen from the axis' positive end.
  const double turn = (shift ? 1.0 : 10.0) * (ctrl ? 1.0 : -1.0);
  switch (event.key()) {
  case Qt::Key_Left:
    thread->Translate(-move, 0.0);
    break;
  case Qt::Key_Right:
    thread->Translate(move, 0.0);
    break;
  case Qt::Key_Up:
    thread->Translate(0.0, move);
    break;
  case Qt::Key_Down:
    thread->Translate(0.0, -move);
    break;
  // The keypad's keys, and the main keyboard's for keyboards without a keypad:
  // "=" is "+" unshifted there, and "_" is "-" shifted.
  case Qt::Key_Plus:
  case Qt::Key_Equal:
    thread->Zoom(zoom, zoom, zoom);
    break;
  case Qt::Key_Minus:
    thread->Zoom(-zoom, -zoom, -zoom);
    break;
  case Qt::Key_Underscore:
    thread->Zoom(-0.01, -0.01, -0.01);
    break;
  case Qt::Key_X:
    thread->Rotate(turn, 0.0, 0.0);
    break;
  case Qt::Key_Y:
    thread->Rotate(0.0, turn, 0.0);
    break;
  case Qt::Key_Z:
    thread->Rotate(0.0, 0.0, turn);
    break;
  default:
    event.ignore();
    return;
  }
  event.accept();
}

void TShow3DForm::OpenGLDisplayPanelMouseDown(QMouseEvent &event) {
  if (event.button() != Qt::LeftButton)
    return;
  Dragging = true;
  LastMouse = event.position().toPoint();
}

void TShow3DForm::OpenGLDisplayPanelMouseMove(QMouseEvent &event) {
  // A drag whose release went elsewhere ends at the first move without the
  // left button; other buttons never turn.
  if (!event.buttons().testFlag(Qt::LeftButton))
    Dragging = false;
  if (!Dragging)
    return;
  const QPoint position = event.position().toPoint();
  const QPoint delta = position - LastMouse;
  LastMouse = position;
  const double factor = event.modifiers().testFlag(Qt::ShiftModifier) ? 0.1 : 1.0;
  if (TOpenGLThread3D *thread = RenderThread3D())
    thread->Rotate(delta.y() * factor, delta.x() * factor, 0.0);
}

void TShow3DForm::OpenGLDisplayPanelMouseUp(QMouseEvent &event) {
  if (event.button() == Qt::LeftButton)
    Dragging = false;
}

void TShow3DForm::OpenGLDisplayPanelDblClick(QMouseEvent &) {
  ResetView();
}

void TShow3DForm::PopupMenuPopup(const QPoint &) {
  // The menu takes the pointer: the panel will not see the left release.
  Dragging = false;
  UpdateCheckMarks();
}

void TShow3DForm::showEvent(QShowEvent *event) {
  // Showing the window again puts the model back; a window restored by the
  // window system keeps its view.
  if (!event->spontaneous())
    ResetView();
  TGraphicForm::showEvent(event);
}

void TShow3DForm::hideEvent(QHideEvent *event) {
  Dragging = false;
  TGraphicForm::hideEvent(event);
}

void TShow3DForm::changeEvent(QEvent *event) {
  // Another window took the focus, and with it the rest of the drag.
  if (event->type() == QEvent::ActivationChange && !isActiveWindow())
    Dragging = false;
  TGraphicForm::changeEvent(event);
}

void TShow3DForm::ShowAxesMenuItemClick() {
  const QPoint origin = PopupPosition();
  Settings.Graphics3D.AxisLeft = origin.x();
  Settings.Graphics3D.AxisTop = origin.y();
  Settings.Graphics3D.ShowXYZAxes = true;
  if (TOpenGLThread3D *thread = RenderThread3D()) {
    thread->SetAxisOrigin(origin.x(), origin.y());
    thread->SetShowAxes(true);
  }
}

void TShow3DForm::HideAxesMenuItemClick() {
  Settings.Graphics3D.ShowXYZAxes = false;
  if (TOpenGLThread3D *thread = RenderThread3D())
    thread->SetShowAxes(false);
}

std::optional<int> TShow3DForm::AskAxisLength(const QString &prompt, int current) {
  const std::optional<QString> answer =
      ShowInputQuery(this, windowTitle(), prompt, QString::number(current));
  if (!answer)
    return std::nullopt;
  const QString text = answer->trimmed();
  if (text.isEmpty())
    return std::nullopt;
  bool ok = false;
  const int length = text.toInt(&ok, 10);
  if (!ok) {
    ShowMessageBox(this, windowTitle(),
                   QStringLiteral("'%1' is not a valid integer value").arg(text),
                   QMessageBox::Critical);
    return std::nullopt;
  }
  if (length <= 0)
    return std::nullopt;
  return length;
}

void TShow3DForm::AxesSizePixelMenuItemClick() {
  const std::optional<int> length = AskAxisLength(QStringLiteral("Enter the axis length in pixel"),
                                                  Settings.Graphics3D.AxisLengthPixel);
  if (length) {
    Settings.Graphics3D.AxisLengthPixel = *length;
    Settings.Graphics3D.AxisLengthMode = TOpenGLThread3D::AxisLengthInPixels;
    if (TOpenGLThread3D *thread = RenderThread3D()) {
      thread->SetAxisLengthPixel(*length);
      thread->SetAxisLengthMode(TOpenGLThread3D::AxisLengthInPixels);
    }
  }
  UpdateCheckMarks();
}

void TShow3DForm::AxesSizeumMenuItemClick() {
  const std::optional<int> length = AskAxisLength(QStringLiteral("Enter the axis length in um"),
                                                  Settings.Graphics3D.AxisLengthum);
  if (length) {
    Settings.Graphics3D.AxisLengthum = *length;
    Settings.Graphics3D.AxisLengthMode = TOpenGLThread3D::AxisLengthInUnits;
    if (TOpenGLThread3D *thread = RenderThread3D()) {
      thread->SetAxisLengthum(*length);
      thread->SetAxisLengthMode(TOpenGLThread3D::AxisLengthInUnits);
    }
  }
  UpdateCheckMarks();
}

void TShow3DForm::ShowPaletteMenuItemClick() {
  const QPoint anchor = PopupPosition();
  Settings.Graphics3D.PaletteLeft = anchor.x();
  Settings.Graphics3D.PaletteTop = anchor.y();
  Settings.Graphics3D.ShowPalette = true;
  if (TOpenGLThread3D *thread = RenderThread3D()) {
    thread->SetPalettePosition(anchor.x(), anchor.y());
    thread->SetShowPalette(true);
  }
}

void TShow3DForm::HidePaletteMenuItemClick() {
  Settings.Graphics3D.ShowPalette = false;
  if (TOpenGLThread3D *thread = RenderThread3D())
    thread->SetShowPalette(false);
}

void TShow3DForm::ShapeStyleWireMenuItemClick() {
  SetShapeStyle(TOpenGLThread3D::Wire);
}

void TShow3DForm::ShapeStyleDiameterMenuItemClick() {
  SetShapeStyle(TOpenGLThread3D::Diameter);
}

void TShow3DForm::SetShapeStyle(int style) {
  if (Settings.Graphics3D.ShapeStyle != style) {
    Settings.Graphics3D.ShapeStyle = style;
    if (TOpenGLThread3D *thread = RenderThread3D()) {
      std::lock_guard lock(WindowLock());
      thread->SetShapeStyle(style);
    }
  }
  UpdateCheckMarks();
}
