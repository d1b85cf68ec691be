#include "app/Application.h"

#include "app/MainForm.h"
#include "help/AboutProgram.h"
#include "help/ShowHelp.h"
#include "settings/IniFile.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <exception>
#include <optional>

namespace {

const QString ApplicationTitle = QStringLiteral("Dendrovia");

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/dendrovia.png").arg(size),
                 QSize(size, size));
  return icon;
}

// A new per-user settings file from the installation's defaults (none: an empty
// one), which its owner may write. An installation knows no user's data, so the
// data folder becomes the home folder unless the defaults name one that exists.
bool CreateUserIni(const QString &path, const QString &defaults) {
  if (!QDir().mkpath(QFileInfo(path).path()))
    return false;
  if (!defaults.isEmpty()) {
    if (!QFile::copy(defaults, path))
      return false;
  } else if (QFile file(path); !file.open(QIODevice::NewOnly)) {
    return false;
  }
  QFile::setPermissions(path,
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  TIniFile ini;
  const std::string file = QFile::encodeName(path).toStdString();
  if (!ini.Load(file))
    return true;
  const std::optional<std::string> directory = ini.Value("Data", "Directory");
  const QString home = QDir::homePath();
  if ((!directory || !QFileInfo(QFile::decodeName(directory->c_str())).isDir()) &&
      QFileInfo(home).isDir() &&
      ini.SetValue("Data", "Directory", QFile::encodeName(home).toStdString()))
    ini.Save(file);
  return true;
}

} // namespace

TDendroviaApplication::TDendroviaApplication(int &argc, char **argv) : QApplication(argc, argv) {
  // The name only: a display name would be appended by the toolkit to every
  // window's caption, which must read as the settings give it.
  setApplicationName(ApplicationTitle);
  // Every window, the about box among them, shows the program's icon; the
  // desktop entry of that name gives it to Wayland compositors too.
  setWindowIcon(ProgramIcon());
  setDesktopFileName(QStringLiteral("dendrovia"));
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

QString TDendroviaApplication::IniPathBeside(const QString &executablePath) {
  const QFileInfo file(executablePath);
  const QString name = file.fileName();
  const qsizetype dot = name.lastIndexOf(u'.');
  const QString base = dot > 0 ? name.left(dot) : name;
  return QDir(file.path()).filePath(base + QStringLiteral(".ini"));
}

QString TDendroviaApplication::IniPathFor(const QString &executablePath, bool createUserCopy) {
  const QString beside = IniPathBeside(executablePath);
  const QString folder = QFileInfo(executablePath).path();
  if (QFileInfo(folder).isWritable())
    return beside;
  const QString user =
      QDir(UserConfigDirectory()).filePath(QStringLiteral("dendrovia/dendrovia.ini"));
  if (QFileInfo::exists(user))
    return user;
  QString defaults = beside;
  if (!QFileInfo(defaults).isFile())
    defaults = QDir::cleanPath(folder + QStringLiteral("/../share/dendrovia/dendrovia.ini"));
  if (!QFileInfo(defaults).isFile())
    defaults.clear();
  if (createUserCopy && CreateUserIni(user, defaults))
    return user;
  return defaults.isEmpty() ? beside : defaults;
}

QString TDendroviaApplication::UserConfigDirectory() {
  const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (QDir::isAbsolutePath(configHome))
    return QDir::cleanPath(configHome);
  return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config"));
}

QStringList TDendroviaApplication::FileArguments(const QStringList &arguments) {
  QStringList files;
  for (qsizetype index = 1; index < arguments.size(); ++index) {
    const QString &argument = arguments[index];
    if (argument.isEmpty() || argument.startsWith(u'-'))
      continue;
    const QString path = argument.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)
                             ? QUrl(argument).toLocalFile()
                             : argument;
    files << QFileInfo(path).absoluteFilePath();
  }
  return files;
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
    // Opened from the running loop, so that the main window is up behind them.
    const QStringList files = FileArguments(arguments());
    if (!files.isEmpty())
      QTimer::singleShot(0, &mainForm, [&mainForm, files] { mainForm.OpenFiles(files, true); });
    return exec();
  } catch (const std::exception &error) {
    ShowException(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    ShowException(QString());
  }
  return 1;
}
