#include "app/Application.h"

#include "app/MainForm.h"
#include "help/AboutProgram.h"
#include "help/ShowHelp.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>
#include <QScreen>

#include <exception>

namespace {

const QString ApplicationTitle = QStringLiteral("Dendrovia");

} // namespace

TDendroviaApplication::TDendroviaApplication(int &argc, char **argv) : QApplication(argc, argv) {
  // The name only: a display name would be appended by the toolkit to every
  // window's caption, which must read as the settings give it.
  setApplicationName(ApplicationTitle);
}

bool TDendroviaApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &error) {
    ShowException(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    ShowException(QString());
  }
  return false;
}

void TDendroviaApplication::ShowException(const QString &message) {
  ShowMessageBox(activeWindow(), ApplicationTitle, message, QMessageBox::Critical, QMessageBox::Ok);
}

void TDendroviaApplication::PrepareOptions(const QString &executablePath) {
  TOptionsEnvironment environment;
  if (const QScreen *screen = QGuiApplication::primaryScreen()) {
    environment.ScreenWidth = screen->geometry().width();
    environment.ScreenHeight = screen->geometry().height();
  }
  environment.ExecutablePath = executablePath.toStdString();
  TOptions::SetEnvironment(environment);
  TOptions::SetErrorReport([](const std::string &caption, const std::string &text) {
    ShowMessageBox(nullptr, QString::fromStdString(caption), QString::fromStdString(text),
                   QMessageBox::Critical, QMessageBox::Ok);
  });
}

QString TDendroviaApplication::IniPathFor(const QString &executablePath) {
  const QFileInfo file(executablePath);
  const QString name = file.fileName();
  const qsizetype dot = name.lastIndexOf(u'.');
  const QString base = dot > 0 ? name.left(dot) : name;
  return QDir(file.path()).filePath(base + QStringLiteral(".ini"));
}

int TDendroviaApplication::Run() {
  try {
    PrepareOptions(applicationFilePath());
    // Destroyed in reverse order, so the help window's bounds reach the settings
    // before the main window saves them.
    TMainForm mainForm(IniPathFor(applicationFilePath()));
    TAboutForm aboutForm;
    TShowHelpForm helpForm;
    mainForm.SetHelpWindows(&aboutForm, &helpForm);
    mainForm.show();
    return exec();
  } catch (const std::exception &error) {
    ShowException(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    ShowException(QString());
  }
  return 1;
}
