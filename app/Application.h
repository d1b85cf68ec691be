#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>

// The application object: reports exceptions that escape an event handler and
// carries on, and runs the start-up of the program.
class TDendroviaApplication : public QApplication {
  Q_OBJECT
public:
  TDendroviaApplication(int &argc, char **argv);

  // Delivers the event; an exception thrown by a handler is shown in an error box
  // and the event counts as not handled.
  bool notify(QObject *receiver, QEvent *event) override;

  // Creates the main window, the about window and the help window, runs the
  // message loop until the main window is closed and returns the exit code. An
  // exception that escapes the start-up is shown, and the program ends with 1.
  int Run();

  // Gives the settings the primary screen's size and executablePath, and routes
  // their error reports to message boxes without owner.
  static void PrepareOptions(const QString &executablePath);

  // The settings file beside an executable: its path with the extension replaced
  // by ".ini", or with ".ini" appended when the file name has none.
  static QString IniPathBeside(const QString &executablePath);

  // The settings file the program reads and writes. Beside the executable where
  // the user may write its folder (a build tree, a portable copy). Otherwise, as
  // for an installed program, dendrovia/dendrovia.ini in the user's configuration
  // folder, created on first use from the installation's defaults: the INI beside
  // the executable, else <prefix>/share/dendrovia/dendrovia.ini. A per-user file
  // that cannot be created leaves the installation's defaults to read. Without
  // createUserCopy nothing is created: a reader that never writes the settings
  // (the render command) gets the defaults until the program made the copy.
  static QString IniPathFor(const QString &executablePath, bool createUserCopy = true);

  // The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
  // path, otherwise $HOME/.config.
  static QString UserConfigDirectory();

  // The data files named on the command line, as absolute paths: every argument
  // after the program's name that is not an option (starting with "-"); file
  // URLs are taken as their local paths.
  static QStringList FileArguments(const QStringList &arguments);

  // The error box for an exception's message.
  static void ShowException(const QString &message);
};
