#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

// Every dialog of the program (message box, input dialog, colour dialog) goes
// through one of these seams, so that tests can read and answer it instead of
// leaving a modal dialog waiting.
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

// The input dialog: a caption, a prompt and a line edit preset to value. Gives
// the text entered, nothing when cancelled.
using TInputQueryHandler = std::function<std::optional<QString>(
    QWidget *parent, const QString &caption, const QString &prompt, const QString &value)>;
std::optional<QString> ShowInputQuery(QWidget *parent, const QString &caption,
                                      const QString &prompt, const QString &value);
TInputQueryHandler SetInputQueryHandler(TInputQueryHandler handler);

// The standard colour dialog preset to initial. Gives the colour chosen,
// nothing when cancelled.
using TColorDialogHandler =
    std::function<std::optional<QColor>(QWidget *parent, const QColor &initial)>;
std::optional<QColor> ShowColorDialog(QWidget *parent, const QColor &initial);
TColorDialogHandler SetColorDialogHandler(TColorDialogHandler handler);

// The standard save dialog, opened in the folder of suggested with its name
// preset; filters as for QFileDialog ("PNG image (*.png);;JPEG image (*.jpg)"),
// the first one selected. A name typed without an extension gets the selected
// filter's. Gives the path chosen, nothing when cancelled.
using TSaveFileHandler = std::function<std::optional<QString>(
    QWidget *parent, const QString &caption, const QString &suggested, const QString &filters)>;
std::optional<QString> ShowSaveFileDialog(QWidget *parent, const QString &caption,
                                          const QString &suggested, const QString &filters);
TSaveFileHandler SetSaveFileHandler(TSaveFileHandler handler);

// The standard folder dialog opened at initial. Gives the folder chosen,
// nothing when cancelled.
using TFolderDialogHandler = std::function<std::optional<QString>(
    QWidget *parent, const QString &caption, const QString &initial)>;
std::optional<QString> ShowFolderDialog(QWidget *parent, const QString &caption,
                                        const QString &initial);
TFolderDialogHandler SetFolderDialogHandler(TFolderDialogHandler handler);

// What a recording writes: a movie file or a folder of numbered images.
enum class TMovieFormat { Mp4, PngSequence };

struct TMovieRequest {
  TMovieFormat Format = TMovieFormat::Mp4;
  // The movie file (Mp4) and the folder of the images (PngSequence).
  QString MoviePath;
  QString ImageFolder;
  // The images' file name in ImageFolder, with one number field as printf
  // writes it ("frame_%05d.png"); empty names them after the recording.
  QString ImagePattern;
  int FramesPerSecond = 25;
  // False when no encoder is at hand: only the images can be chosen.
  bool Mp4Offered = true;
};

// The record dialog, preset to initial. Gives the recording chosen (never Mp4
// when initial does not offer it), nothing when cancelled.
using TRecordMovieHandler =
    std::function<std::optional<TMovieRequest>(QWidget *parent, const TMovieRequest &initial)>;
std::optional<TMovieRequest> ShowRecordMovieDialog(QWidget *parent, const TMovieRequest &initial);
TRecordMovieHandler SetRecordMovieHandler(TRecordMovieHandler handler);

// Installs a handler for the lifetime of the object and restores the previous
// one afterwards.
template <class THandler, THandler (*Install)(THandler)> class TScopedDialogHandler {
public:
  explicit TScopedDialogHandler(THandler handler) : Previous(Install(std::move(handler))) {}
  ~TScopedDialogHandler() { Install(std::move(Previous)); }
  TScopedDialogHandler(const TScopedDialogHandler &) = delete;
  TScopedDialogHandler &operator=(const TScopedDialogHandler &) = delete;

private:
  THandler Previous;
};

using TScopedMessageBoxHandler = TScopedDialogHandler<TMessageBoxHandler, SetMessageBoxHandler>;
using TScopedInputQueryHandler = TScopedDialogHandler<TInputQueryHandler, SetInputQueryHandler>;
using TScopedColorDialogHandler = TScopedDialogHandler<TColorDialogHandler, SetColorDialogHandler>;
using TScopedSaveFileHandler = TScopedDialogHandler<TSaveFileHandler, SetSaveFileHandler>;
using TScopedFolderDialogHandler =
    TScopedDialogHandler<TFolderDialogHandler, SetFolderDialogHandler>;
using TScopedRecordMovieHandler = TScopedDialogHandler<TRecordMovieHandler, SetRecordMovieHandler>;
