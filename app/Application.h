#pragma once

#include <QApplication>
#include <QString>

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

  // The settings file of an executable: its path with the extension replaced by
  // ".ini", or with ".ini" appended when the file name has none.
  static QString IniPathFor(const QString &executablePath);

  // The error box for an exception's message.
  static void ShowException(const QString &message);
};
