#include "views/Show2D.h"

#include "data/NeuronDataFile.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"
#include "views/Dendrogram.h"
#include "views/ViewContext.h"

#include <QActionGroup>
#include <QMenu>
#include <QMouseEvent>

#include <mutex>
#include <vector>

namespace {

struct TModeItem {
  const char *Name;
  const char *Caption;
};

// In mode order: the index of an item is its mode.
constexpr std::array<TModeItem, 6> ModeItems{{
    {"ShowCoordinatesMenuItem", "Show coordinates"},
    {"AddToFtMenuItem", "Add to F(t)"},
    {"ShowDistanceLeftMenuItem", "Show distance from root (left)"},
    {"ShowDistanceRightMenuItem", "Show distance from root (right)"},
    {"ShowDiameterMenuItem", "Show diameter"},
    {"ShowValueMenuItem", "Show value of variable"},
}};

// Every 2D window of the process: the markers' setting is shared by all.
std::vector<TShow2DForm *> &Windows2D() {
  static std::vector<TShow2DForm *> windows;
  return windows;
}

} // namespace

TShow2DForm::TShow2DForm(TViewContext &context, QWidget *parent)
    : TGraphicForm(parent), Settings(TOptions::Instance()), Context(context),
      ItemSpacing(Settings.Graphics2D.DistanceBetweenItems),
      LevelSpacing(Settings.Graphics2D.DistanceBetweenLevels) {
  setWindowTitle(SettingsText(Settings.Graphics2D.Title));
  SetPanelColor(Qt::white);
  CreatePopupMenu();
  const TNeuronDataFile &data = Context.GetViewData();
  DistanceMax = TDendrogram::DistanceAxisLength(data);
  TotalHeight = TDendrogram::TotalHeight(data, ItemSpacing, LevelSpacing);

  const TOptions::TGraphics2DSettings &options = Settings.Graphics2D;
  auto thread = std::make_unique<TOpenGLThread2D>(*this, Settings.Data.SleepPeriod);
  {
    std::lock_guard lock(WindowLock());
    thread->SetClearColorFromColor(PanelColor(), 0.0f);
    thread->SetItemSpacing(ItemSpacing);
    thread->SetLevelSpacing(LevelSpacing);
    thread->SetGraphicLineWidth(options.GraphicLineWidth);
    thread->SetConnectionLineWidth(options.ConnectionLineWidth);
    thread->SetScaleLineWidth(options.ScaleLineWidth);
    thread->SetSelectPointMode(options.SelectPointMode);
    // Distances and heights both start at 0.
    thread->SetRanges(0.0, DistanceMax, 0.0, TotalHeight);
    thread->SetData(&data);
    thread->SetPalette(&Context.GetViewPalette());
    // A palette bar left shown comes back where it was.
    thread->SetPalettePosition(options.PaletteLeft, options.PaletteTop);
    thread->SetShowPalette(options.ShowPalette);
  }
  AttachRenderThread(std::move(thread));
  Windows2D().push_back(this);
}

TShow2DForm::~TShow2DForm() {
  std::erase(Windows2D(), this);
  StopRenderThread();
}

TOpenGLThread2D *TShow2DForm::RenderThread2D() const {
  return static_cast<TOpenGLThread2D *>(RenderThread());
}

void TShow2DForm::CreatePopupMenu() {
  QMenu &menu = PopupMenu();
  QMenu *selectPoint = menu.addMenu("Select point");
  selectPoint->setObjectName("SelectPointMenuItem");
  auto *group = new QActionGroup(this);
  group->setExclusive(true);
  for (std::size_t mode = 0; mode < ModeItems.size(); ++mode) {
    QAction *item = selectPoint->addAction(ModeItems[mode].Caption);
    item->setObjectName(ModeItems[mode].Name);
    item->setData(static_cast<int>(mode));
    item->setCheckable(true);
    item->setChecked(static_cast<int>(mode) == Settings.Graphics2D.SelectPointMode);
    group->addAction(item);
  }
  connect(group, &QActionGroup::triggered, this, &TShow2DForm::SelectPointAction);

  ShowHidePointsMenuItem = menu.addAction("Show points");
  ShowHidePointsMenuItem->setObjectName("ShowHidePointsMenuItem");
  UpdatePointsCaption();
  connect(ShowHidePointsMenuItem, &QAction::triggered, this,
          &TShow2DForm::ShowHidePointsMenuItemClick);
  QAction *showPalette = menu.addAction("Show palette");
  showPalette->setObjectName("ShowPaletteMenuItem");
  connect(showPalette, &QAction::triggered, this, &TShow2DForm::ShowPaletteMenuItemClick);
  QAction *hidePalette = menu.addAction("Hide palette");
  hidePalette->setObjectName("HidePaletteMenuItem");
  connect(hidePalette, &QAction::triggered, this, &TShow2DForm::HidePaletteMenuItemClick);
}

void TShow2DForm::UpdatePointsCaption() {
  ShowHidePointsMenuItem->setText(Settings.Graphics2D.ShowPoints ? "Hide points" : "Show points");
}

void TShow2DForm::PopupMenuPopup(const QPoint &) {
  // Another 2D window may have switched the markers since.
  UpdatePointsCaption();
}

void TShow2DForm::SelectPointAction(QAction *item) {
  const int mode = item->data().toInt();
  Settings.Graphics2D.SelectPointMode = mode;
  item->setChecked(true);
  if (TOpenGLThread2D *thread = RenderThread2D())
    thread->SetSelectPointMode(mode);
}

void TShow2DForm::ShowHidePointsMenuItemClick() {
  Settings.Graphics2D.ShowPoints = !Settings.Graphics2D.ShowPoints;
  UpdatePointsCaption();
  // The other 2D windows show or hide theirs too.
  for (TShow2DForm *window : Windows2D())
    window->SelectedPointsChanged();
}

void TShow2DForm::SelectedPointsChanged() {
  if (TOpenGLViewThread *thread = RenderThread())
    thread->Invalidate();
}

void TShow2DForm::ShowPaletteMenuItemClick() {
  const QPoint at = PopupPosition();
  Settings.Graphics2D.PaletteLeft = at.x();
  Settings.Graphics2D.PaletteTop = at.y();
  Settings.Graphics2D.ShowPalette = true;
  if (TOpenGLThread2D *thread = RenderThread2D()) {
    thread->SetPalettePosition(at.x(), at.y());
    thread->SetShowPalette(true);
    thread->Invalidate();
  }
}

void TShow2DForm::HidePaletteMenuItemClick() {
  Settings.Graphics2D.ShowPalette = false;
  if (TOpenGLThread2D *thread = RenderThread2D()) {
    thread->SetShowPalette(false);
    thread->Invalidate();
  }
}

void TShow2DForm::SetSelectedPoints(TSelectedPointList &points) {
  if (TOpenGLThread2D *thread = RenderThread2D()) {
    {
      std::lock_guard lock(WindowLock());
      thread->SetSelectedPoints(&points);
    }
    thread->Invalidate();
  }
}

void TShow2DForm::PassRanges() {
  if (TOpenGLThread2D *thread = RenderThread2D()) {
    thread->SetRanges(0.0, DistanceMax, 0.0, TotalHeight);
    thread->Invalidate();
  }
}

void TShow2DForm::UpdateLayout() {
  const TNeuronDataFile &data = Context.GetViewData();
  DistanceMax = TDendrogram::DistanceAxisLength(data);
  TotalHeight = TDendrogram::TotalHeight(data, ItemSpacing, LevelSpacing);
  PassRanges();
}

void TShow2DForm::OpenGLDisplayPanelMouseDown(QMouseEvent &event) {
  if (event.button() != Qt::LeftButton)
    return;
  SelectionResult = {-1, -1, -1};
  QueryValueText.clear();
  std::string title;
  TOpenGLThread2D *thread = RenderThread2D();
  if (thread == nullptr)
    return;
  const QPoint at = event.position().toPoint();
  SelectionResult = thread->PickPoint(at.x(), at.y(), title, QueryValueText);

  QString message;
  if (SelectionResult[0] > 0 && SelectionResult[1] > 0 && SelectionResult[2] > 0) {
    if (thread->GetSelectPointMode() == static_cast<std::int32_t>(TSelectPointMode::AddToFt)) {
      Context.AddSelectedPoint(QueryValueText, title);
      message = "Point " + QString::fromStdString(title) + " has been added to F(t)";
    } else {
      message = QString::fromStdString(title + ": " + QueryValueText);
    }
  } else if (SelectionResult[0] == -1 && SelectionResult[1] == -1 && SelectionResult[2] == -1) {
    message = "More than one point was selected";
  } else {
    return;
  }
  ShowMessageBox(this, windowTitle(), message, QMessageBox::Information, QMessageBox::Ok);
}

void TShow2DForm::HelpKeyPressed(bool about) {
  Context.ShowHelpWindow(about);
}
