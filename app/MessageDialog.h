#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Every message box of the program goes through ShowMessageBox, so that tests
// can read and answer the boxes instead of leaving a modal dialog waiting.
using TMessageBoxHandler = std::function<QMessageBox::StandardButton(
    QWidget *parent, const QString &caption, const QString &text, QMessageBox::Icon icon,
    QMessageBox::StandardButtons buttons)>;

// Shows a modal message box (or hands it to the installed handler) and returns
// the button that closed it. A real box closed without a button (Escape on a box
// without a cancel button) returns QMessageBox::NoButton.
QMessageBox::StandardButton ShowMessageBox(QWidget *parent, const QString &caption,
                                           const QString &text, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Installs a handler that replaces the real box; an empty handler brings the
// real box back. Returns the handler that was installed before.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);

// Installs a handler for the lifetime of the object and restores the previous
// one afterwards.
class TScopedMessageBoxHandler {
public:
  explicit TScopedMessageBoxHandler(TMessageBoxHandler handler)
      : Previous(SetMessageBoxHandler(std::move(handler))) {}
  ~TScopedMessageBoxHandler() { SetMessageBoxHandler(std::move(Previous)); }
  TScopedMessageBoxHandler(const TScopedMessageBoxHandler &) = delete;
  TScopedMessageBoxHandler &operator=(const TScopedMessageBoxHandler &) = delete;

private:
  TMessageBoxHandler Previous;
};
