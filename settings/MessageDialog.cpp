#include "settings/MessageDialog.h"

#include <QColorDialog>
#include <QInputDialog>

#include <utility>

namespace {

template <class THandler> THandler &InstalledHandler() {
  static THandler handler;
  return handler;
}

} // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget *parent, const QString &caption,
                                           const QString &text, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons) {
  // Copied so that a handler may replace itself while it runs.
  const TMessageBoxHandler handler = InstalledHandler<TMessageBoxHandler>();
  if (handler)
    return handler(parent, caption, text, icon, buttons);
  QMessageBox box(icon, caption, text, buttons, parent);
  const int result = box.exec();
  return buttons.testFlag(static_cast<QMessageBox::StandardButton>(result))
             ? static_cast<QMessageBox::StandardButton>(result)
             : QMessageBox::NoButton;
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
  return std::exchange(InstalledHandler<TMessageBoxHandler>(), std::move(handler));
}

std::optional<QString> ShowInputQuery(QWidget *parent, const QString &caption,
                                      const QString &prompt, const QString &value) {
  const TInputQueryHandler handler = InstalledHandler<TInputQueryHandler>();
  if (handler)
    return handler(parent, caption, prompt, value);
  bool ok = false;
  QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
  if (!ok)
    return std::nullopt;
  return text;
}

TInputQueryHandler SetInputQueryHandler(TInputQueryHandler handler) {
  return std::exchange(InstalledHandler<TInputQueryHandler>(), std::move(handler));
}

std::optional<QColor> ShowColorDialog(QWidget *parent, const QColor &initial) {
  const TColorDialogHandler handler = InstalledHandler<TColorDialogHandler>();
  if (handler)
    return handler(parent, initial);
  const QColor color = QColorDialog::getColor(initial, parent);
  if (!color.isValid())
    return std::nullopt;
  return color;
}

TColorDialogHandler SetColorDialogHandler(TColorDialogHandler handler) {
  return std::exchange(InstalledHandler<TColorDialogHandler>(), std::move(handler));
}
