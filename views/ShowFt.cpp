#include "views/ShowFt.h"

#include "render/OpenGLDisplayPanel.h"
#include "settings/MessageDialog.h"
#include "settings/NumberFormat.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"
#include "views/ShowFtThread.h"
#include "views/ViewContext.h"

#include <QApplication>
#include <QMenu>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

#include <mutex>

namespace {

QColor ToColor(std::uint32_t rgb) {
  return QColor::fromRgb(static_cast<QRgb>(rgb));
}

std::uint32_t ToWindowColor(const QColor &color) {
  return static_cast<std::uint32_t>(color.rgb()) & 0xffffffu;
}

// Writes the text of a menu's entries that carry a colour (their action's data)
// in that colour, unless highlighted; everything else is the platform's own
// drawing.
class TColoredEntryStyle : public QProxyStyle {
public:
  TColoredEntryStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

  void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                   const QWidget *widget) const override {
    const auto *menu = qobject_cast<const QMenu *>(widget);
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (element == CE_MenuItem && menu != nullptr && item != nullptr &&
        !item->state.testFlag(State_Selected)) {
      const QAction *action = menu->actionAt(item->rect.center());
      if (action != nullptr && action->data().canConvert<QColor>()) {
        QStyleOptionMenuItem colored(*item);
        const QColor color = action->data().value<QColor>();
        for (QPalette::ColorRole role :
             {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
          colored.palette.setColor(role, color);
        QProxyStyle::drawControl(element, &colored, painter, widget);
        return;
      }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
};

// " name ", shown as it is: the menu would take an "&" for a shortcut mark.
QString EntryCaption(const std::string &name) {
  QString caption = QStringLiteral(" ") + QString::fromStdString(name) + QStringLiteral(" ");
  return caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

TShowFtForm::TShowFtForm(TViewContext &context, QWidget *parent)
    : TGraphicForm(parent), Settings(TOptions::Instance()), Context(context) {
  setWindowTitle(SettingsText(Settings.GraphicsFt.Title));
  SetPanelColor(Qt::white);
  TryParseFloat(Context.GetTimeMinText(), TimeMin);
  TryParseFloat(Context.GetTimeMaxText(), TimeMax);
  TryParseFloat(Context.GetVariableMinText(), ValueMin);
  TryParseFloat(Context.GetVariableMaxText(), ValueMax);

  DeleteAllPointsMenuItem = PopupMenu().addAction(QStringLiteral("Delete all points"), this,
                                                  &TShowFtForm::DeleteAllPointsMenuItemClick);
  DeleteAllPointsMenuItem->setObjectName("DeleteAllPointsMenuItem");
  ListOfPointsMenu = PopupMenu().addMenu(QStringLiteral("List of points"));
  ListOfPointsMenu->setObjectName("ListOfPointsMenu");
  // A child of the window made after the menus, so deleted after them.
  auto *style = new TColoredEntryStyle;
  style->setParent(this);
  ListOfPointsMenu->setStyle(style);

  auto thread = std::make_unique<TOpenGLThreadFt>(*this, Settings.Data.SleepPeriod);
  {
    std::lock_guard lock(WindowLock());
    thread->SetClearColorFromColor(PanelColor(), 0.0f);
    thread->SetAxisColors(Qt::black, Qt::black);
    thread->SetRanges(TimeMin, TimeMax, ValueMin, ValueMax);
    thread->SetAxisLineWidth(Settings.GraphicsFt.AxisLineWidth);
    thread->SetGraphicLineWidth(Settings.GraphicsFt.GraphicLineWidth);
    thread->SetData(&Context.GetViewData());
    thread->SetPointList(Points);
  }
  AttachRenderThread(std::move(thread));
}

TShowFtForm::~TShowFtForm() {
  StopRenderThread();
}

TOpenGLThreadFt *TShowFtForm::RenderThreadFt() const {
  return static_cast<TOpenGLThreadFt *>(RenderThread());
}

void TShowFtForm::SetPoints(TSelectedPointList &points) {
  RemoveAllEntries();
  Points = &points;
  for (const std::unique_ptr<TSelectedPointInfo> &point : points)
    AddPointMenuEntry(*point);
  std::lock_guard lock(WindowLock());
  if (TOpenGLThreadFt *thread = RenderThreadFt()) {
    thread->SetPointList(Points);
    thread->Invalidate();
  }
}

void TShowFtForm::AddPointMenuEntry(const TSelectedPointInfo &point) {
  auto *entryMenu = new QMenu(EntryCaption(point.Name), ListOfPointsMenu);
  QAction *entry = entryMenu->menuAction();
  entry->setData(ToColor(point.Color));
  QAction *color = entryMenu->addAction(QStringLiteral("Color"), this,
                                        [this, entry] { ColorMenuItemClick(entry); });
  color->setObjectName("ColorMenuItem");
  QAction *remove = entryMenu->addAction(QStringLiteral("Delete"), this,
                                         [this, entry] { DeleteMenuItemClick(entry); });
  remove->setObjectName("DeleteMenuItem");
  ListOfPointsMenu->addMenu(entryMenu);
  PointsChanged();
}

void TShowFtForm::ClearHistory() {
  if (Points == nullptr)
    return;
  {
    std::lock_guard lock(WindowLock());
    for (const std::unique_ptr<TSelectedPointInfo> &point : *Points)
      std::vector<TPointSample>().swap(point->Samples);
    if (TOpenGLThreadFt *thread = RenderThreadFt())
      thread->SetPointList(Points);
  }
  if (TOpenGLThreadFt *thread = RenderThreadFt())
    thread->Invalidate();
}

void TShowFtForm::UpdateTimeScale() {
  TryParseFloat(Context.GetTimeMinText(), TimeMin);
  TryParseFloat(Context.GetTimeMaxText(), TimeMax);
  PassRanges();
}

void TShowFtForm::UpdateVariableScale() {
  TryParseFloat(Context.GetVariableMinText(), ValueMin);
  TryParseFloat(Context.GetVariableMaxText(), ValueMax);
  PassRanges();
}

void TShowFtForm::PassRanges() {
  if (TOpenGLThreadFt *thread = RenderThreadFt())
    thread->SetRanges(TimeMin, TimeMax, ValueMin, ValueMax);
}

void TShowFtForm::PointsChanged() {
  if (TOpenGLThreadFt *thread = RenderThreadFt()) {
    thread->PointListChanged();
    thread->Invalidate();
  }
}

void TShowFtForm::RemoveAllEntries() {
  for (QAction *entry : ListOfPointsMenu->actions()) {
    ListOfPointsMenu->removeAction(entry);
    // The entry's own menu may be the one whose item is being handled.
    entry->menu<QMenu *>()->deleteLater();
  }
}

int TShowFtForm::EntryIndex(QAction *entry) const {
  return static_cast<int>(ListOfPointsMenu->actions().indexOf(entry));
}

void TShowFtForm::HelpKeyPressed(bool about) {
  Context.ShowHelpWindow(about);
}

void TShowFtForm::PopupMenuPopup(const QPoint &) {
  const bool any = Points != nullptr && !Points->empty();
  DeleteAllPointsMenuItem->setEnabled(any);
  ListOfPointsMenu->menuAction()->setEnabled(any);
}

void TShowFtForm::DeleteAllPointsMenuItemClick() {
  if (Points == nullptr)
    return;
  {
    std::lock_guard lock(WindowLock());
    Points->clear();
  }
  RemoveAllEntries();
  PointsChanged();
  Context.SelectedPointsChanged();
}

void TShowFtForm::ColorMenuItemClick(QAction *entry) {
  const int n = EntryIndex(entry);
  if (Points == nullptr || n < 0 || n >= static_cast<int>(Points->size()))
    return;
  const std::optional<QColor> chosen = ShowColorDialog(this, entry->data().value<QColor>());
  if (!chosen)
    return;
  entry->setData(*chosen);
  {
    std::lock_guard lock(WindowLock());
    (*Points)[static_cast<size_t>(n)]->Color = ToWindowColor(*chosen);
  }
  if (TOpenGLThreadFt *thread = RenderThreadFt())
    thread->Invalidate();
  Context.SelectedPointsChanged();
}

void TShowFtForm::DeleteMenuItemClick(QAction *entry) {
  const int n = EntryIndex(entry);
  if (Points == nullptr || n < 0 || n >= static_cast<int>(Points->size()))
    return;
  {
    std::lock_guard lock(WindowLock());
    Points->erase(Points->begin() + n);
  }
  ListOfPointsMenu->removeAction(entry);
  entry->menu<QMenu *>()->deleteLater();
  PointsChanged();
  Context.SelectedPointsChanged();
}
