#include "settings/MessageDialog.h"

#include "settings/RecordMovieDialog.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QRegularExpression>

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

std::optional<QString> ShowSaveFileDialog(QWidget *parent, const QString &caption,
                                          const QString &suggested, const QString &filters) {
  const TSaveFileHandler handler = InstalledHandler<TSaveFileHandler>();
  if (handler)
    return handler(parent, caption, suggested, filters);
  QFileDialog dialog(parent, caption, suggested, filters);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.selectFile(QFileInfo(suggested).fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return std::nullopt;
  QString path = dialog.selectedFiles().constFirst();
  if (QFileInfo(path).suffix().isEmpty()) {
    // "PNG image (*.png)" gives ".png".
    const QRegularExpressionMatch match =
        QRegularExpression(R"(\*(\.\w+))").match(dialog.selectedNameFilter());
    if (match.hasMatch())
      path += match.captured(1);
  }
  return path;
}

TSaveFileHandler SetSaveFileHandler(TSaveFileHandler handler) {
  return std::exchange(InstalledHandler<TSaveFileHandler>(), std::move(handler));
}

std::optional<QString> ShowFolderDialog(QWidget *parent, const QString &caption,
                                        const QString &initial) {
  const TFolderDialogHandler handler = InstalledHandler<TFolderDialogHandler>();
  if (handler)
    return handler(parent, caption, initial);
  const QString folder = QFileDialog::getExistingDirectory(parent, caption, initial);
  if (folder.isEmpty())
    return std::nullopt;
  return folder;
}

TFolderDialogHandler SetFolderDialogHandler(TFolderDialogHandler handler) {
  return std::exchange(InstalledHandler<TFolderDialogHandler>(), std::move(handler));
}

std::optional<TMovieRequest> ShowRecordMovieDialog(QWidget *parent, const TMovieRequest &initial) {
  const TRecordMovieHandler handler = InstalledHandler<TRecordMovieHandler>();
  if (handler)
    return handler(parent, initial);
  TRecordMovieDialog dialog(initial, parent);
  if (dialog.exec() != QDialog::Accepted)
    return std::nullopt;
  return dialog.Request();
}

TRecordMovieHandler SetRecordMovieHandler(TRecordMovieHandler handler) {
  return std::exchange(InstalledHandler<TRecordMovieHandler>(), std::move(handler));
}
