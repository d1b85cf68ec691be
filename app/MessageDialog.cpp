#include "app/MessageDialog.h"

#include <utility>

namespace {

TMessageBoxHandler &InstalledHandler() {
  static TMessageBoxHandler handler;
  return handler;
}

} // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget *parent, const QString &caption,
                                           const QString &text, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons) {
  // Copied so that a handler may replace itself while it runs.
  const TMessageBoxHandler handler = InstalledHandler();
  if (handler)
    return handler(parent, caption, text, icon, buttons);
  QMessageBox box(icon, caption, text, buttons, parent);
  const int result = box.exec();
  return buttons.testFlag(static_cast<QMessageBox::StandardButton>(result))
             ? static_cast<QMessageBox::StandardButton>(result)
             : QMessageBox::NoButton;
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
  return std::exchange(InstalledHandler(), std::move(handler));
}
