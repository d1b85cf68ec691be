// Runs its own main: the exception box needs the program's application object.
#include "SampleDataFile.h"
#include "X11TestSupport.h"

#include "app/Application.h"
#include "app/MainForm.h"
#include "control/DataControl.h"
#include "help/AboutProgram.h"
#include "help/ShowHelp.h"
#include "settings/MessageDialog.h"
#include "settings/Options.h"
#include "settings/SettingsText.h"
#include "views/Show1D.h"
#include "views/Show2D.h"
#include "views/Show3D.h"
#include "views/ShowFt.h"
#include "views/ShowInfo.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const QEvent::Type ThrowStd = static_cast<QEvent::Type>(QEvent::User + 1);
const QEvent::Type ThrowOther = static_cast<QEvent::Type>(QEvent::User + 2);
const QEvent::Type Count = static_cast<QEvent::Type>(QEvent::User + 3);

class TThrowingObject : public QObject {
public:
  int Counted = 0;

  bool event(QEvent *event) override {
    if (event->type() == ThrowStd)
      throw std::runtime_error("Range check error");
    if (event->type() == ThrowOther)
      throw 42;
    if (event->type() == Count) {
      ++Counted;
      return true;
    }
    return QObject::event(event);
  }
};

} // namespace

TEST(Application, EveryWindowIsCaptionedExactlyAsTheSettingsSay) {
  QTemporaryDir dir;
  TDendroviaApplication::PrepareOptions(dir.filePath("dendrovia"));
  const QString data = dir.filePath("small.dat");
  ASSERT_TRUE(WriteSampleDataFile(data.toStdString(), FrameTimes(0.0, 1.0, 2.0)));
  {
    TMainForm mainForm(TDendroviaApplication::IniPathFor(dir.filePath("dendrovia")));
    TAboutForm aboutForm;
    TShowHelpForm helpForm;
    mainForm.OpenDataFile(data);
    // A legacy 8-bit title (Cyrillic in code page 1251) is shown readably.
    const std::string legacy = "\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5";
    TOptions::Instance().Graphics3D.Title = legacy;
    TDataControlForm *control = mainForm.OpenControlWindows().at(0);
    for (const char *button :
         {"Show1DButton", "Show2DButton", "Show3DButton", "ShowFtButton", "ShowInfoButton"})
      QTest::mouseClick(control->findChild<QPushButton *>(button), Qt::LeftButton);
    const std::pair<QWidget *, QString> windows[] = {{&mainForm, "Dendrovia"},
                                                     {&aboutForm, "About Dendrovia"},
                                                     {&helpForm, "Help"},
                                                     {control, "Data Control - small.dat"},
                                                     {control->Form1D(), "1D"},
                                                     {control->Form2D(), "2D"},
                                                     {control->Form3D(), SettingsText(legacy)},
                                                     {control->FormFt(), "Ft"},
                                                     {control->FormInfo(), "Info"}};
    for (const auto &[window, title] : windows) {
      window->show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
      EXPECT_EQ(window->windowTitle(), title);
      EXPECT_EQ(ServerTitle(*window), title);
      EXPECT_FALSE(title.contains(QChar::ReplacementCharacter));
    }
  }
  TOptions::ReleaseInstance();
}

TEST(Application, ExceptionsOfEventHandlersAreShownAndTheProgramGoesOn) {
  std::vector<std::pair<QString, QString>> boxes;
  TScopedMessageBoxHandler handler([&](QWidget *, const QString &caption, const QString &text,
                                       QMessageBox::Icon icon, QMessageBox::StandardButtons) {
    EXPECT_EQ(icon, QMessageBox::Critical);
    boxes.emplace_back(caption, text);
    return QMessageBox::Ok;
  });
  TThrowingObject object;

  QEvent throwStd(ThrowStd);
  EXPECT_FALSE(QCoreApplication::sendEvent(&object, &throwStd));
  // Posted events go through the same door from the event loop.
  QCoreApplication::postEvent(&object, new QEvent(ThrowOther));
  QCoreApplication::postEvent(&object, new QEvent(Count));
  QCoreApplication::processEvents();

  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], std::make_pair(QString("Dendrovia"), QString("Range check error")));
  EXPECT_EQ(boxes[1], std::make_pair(QString("Dendrovia"), QString()));
  EXPECT_EQ(object.Counted, 1);
  EXPECT_EQ(QCoreApplication::applicationName(), "Dendrovia");
}

TEST(Application, IniFileLiesBesideTheExecutableWithItsName) {
  EXPECT_EQ(TDendroviaApplication::IniPathBeside("/opt/dendrovia/dendrovia"),
            "/opt/dendrovia/dendrovia.ini");
  EXPECT_EQ(TDendroviaApplication::IniPathBeside("/opt/dendrovia/dendrovia.bin"),
            "/opt/dendrovia/dendrovia.ini");
  EXPECT_EQ(TDendroviaApplication::IniPathBeside("/opt/v1.2/viewer"), "/opt/v1.2/viewer.ini");
  EXPECT_EQ(TDendroviaApplication::IniPathBeside("/opt/run.me.exe"), "/opt/run.me.ini");
  // A folder the user may write keeps the file there.
  QTemporaryDir dir;
  EXPECT_EQ(TDendroviaApplication::IniPathFor(dir.filePath("dendrovia")),
            dir.filePath("dendrovia.ini"));
}

namespace {

void WriteText(const QString &path, const QByteArray &text) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
}

QByteArray ReadText(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// IniPathFor as the user "nobody" would get it, in a child process with that
// environment (nullptr: unset).
QString IniPathAsNobody(const QString &executable, const char *home, const char *configHome) {
  const passwd *nobody = ::getpwnam("nobody");
  int channel[2];
  if (nobody == nullptr || ::pipe(channel) != 0)
    return "(no child)";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
      ::_exit(1);
    ::setenv("HOME", home, 1);
    if (configHome != nullptr)
      ::setenv("XDG_CONFIG_HOME", configHome, 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
    const QByteArray path = TDendroviaApplication::IniPathFor(executable).toUtf8();
    const bool written = ::write(channel[1], path.constData(), path.size()) == path.size();
    ::_exit(written ? 0 : 1);
  }
  ::close(channel[1]);
  QByteArray path;
  char buffer[512];
  for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
    path.append(buffer, got);
  ::close(channel[0]);
  ::waitpid(child, nullptr, 0);
  return QString::fromUtf8(path);
}

} // namespace

TEST(Application, AnInstalledProgramKeepsItsSettingsInTheUsersConfigurationFolder) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root, to make folders that nobody may not write and to become nobody";
  QTemporaryDir dir;
  ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
  const QString root = dir.path();
  const QString home = root + "/home", data = root + "/data";
  const QByteArray defaults = "; shipped\n[Data]\nDirectory=\n[FilePanel]\nColumn1Title=Filename\n"
                              "Column1DataType=1\n";
  // Installed: bin/ of root, defaults under share/dendrovia/.
  WriteText(root + "/usr/share/dendrovia/dendrovia.ini", defaults);
  QDir().mkpath(root + "/usr/bin");
  // A copy whose INI lies beside the executable, naming a data folder that exists.
  WriteText(root + "/opt/bin/dendrovia.ini", "[Data]\nDirectory=" + data.toUtf8() + "\n");
  QDir().mkpath(data);
  const passwd *nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  const QString userIni = "/dendrovia/dendrovia.ini";
  const struct {
    const char *Name;
    QString Executable;
    QByteArray Home;
    std::optional<QByteArray> ConfigHome;
    QByteArray Existing; // a per-user file already there; empty: none
    QString Expected;
    QByteArray Contents;
  } cases[] = {
      {"first start: the defaults, with the home folder for data", root + "/usr/bin/dendrovia",
       home.toUtf8(), nullptr, "", home + "/.config" + userIni,
       "; shipped\n[Data]\nDirectory=" + home.toUtf8() +
           "\n[FilePanel]\nColumn1Title=Filename\n"
           "Column1DataType=1\n"},
      {"XDG_CONFIG_HOME", root + "/usr/bin/dendrovia", home.toUtf8(), root.toUtf8() + "/config", "",
       root + "/config" + userIni,
       "; shipped\n[Data]\nDirectory=" + home.toUtf8() +
           "\n[FilePanel]\nColumn1Title=Filename\n"
           "Column1DataType=1\n"},
      {"a relative XDG_CONFIG_HOME is ignored", root + "/usr/bin/dendrovia", home.toUtf8(),
       "relative", "", home + "/.config" + userIni, ""},
      {"the file of an earlier start is kept", root + "/usr/bin/dendrovia", home.toUtf8(), nullptr,
       "[MainForm]\nWidth=700\n", home + "/.config" + userIni, "[MainForm]\nWidth=700\n"},
      {"an INI beside the executable is the seed", root + "/opt/bin/dendrovia", home.toUtf8(),
       nullptr, "", home + "/.config" + userIni, "[Data]\nDirectory=" + data.toUtf8() + "\n"},
      {"a folder the user may write keeps the file beside", home + "/portable/dendrovia",
       home.toUtf8(), nullptr, "", home + "/portable/dendrovia.ini", ""},
      {"no home to write: the installation's defaults are read", root + "/usr/bin/dendrovia",
       "/nonexistent", nullptr, "", root + "/usr/share/dendrovia/dendrovia.ini", defaults},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    QDir(home).removeRecursively();
    QDir(root + "/config").removeRecursively();
    for (const QString &folder : {home, home + "/portable", root + "/config"}) {
      QDir().mkpath(folder);
      ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    if (!c.Existing.isEmpty()) {
      WriteText(home + "/.config" + userIni, c.Existing);
      ::chown(QFile::encodeName(home + "/.config" + userIni).constData(), nobody->pw_uid,
              nobody->pw_gid);
    }
    EXPECT_EQ(IniPathAsNobody(c.Executable, c.Home.constData(),
                              c.ConfigHome ? c.ConfigHome->constData() : nullptr),
              c.Expected);
    if (c.Contents.isEmpty())
      continue;
    EXPECT_EQ(ReadText(c.Expected), c.Contents);
    const QFileInfo file(c.Expected);
    if (c.Expected.startsWith(home) || c.Expected.startsWith(root + "/config")) {
      EXPECT_EQ(file.ownerId(), nobody->pw_uid);
      EXPECT_TRUE(file.permissions().testFlag(QFile::WriteOwner));
    }
  }
}

TEST(Application, FileArgumentsAreThePathsAmongTheArguments) {
  const QString here = QDir::currentPath();
  const struct {
    const char *Name;
    QStringList Arguments, Files;
  } cases[] = {
      {"none", {"dendrovia"}, {}},
      {"relative and absolute paths",
       {"dendrovia", "a.dat", "sub/b.dat", "/data/c.dat"},
       {here + "/a.dat", here + "/sub/b.dat", "/data/c.dat"}},
      {"options are left to others",
       {"dendrovia", "--render", "-x", "", "d.dat"},
       {here + "/d.dat"}},
      {"file URLs from a desktop", {"dendrovia", "file:///data/e%20f.dat"}, {"/data/e f.dat"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(TDendroviaApplication::FileArguments(c.Arguments), c.Files);
  }
}

TEST(Application, EveryWindowAndTheAboutBoxShowTheProgramsIcon) {
  const QIcon icon = QApplication::windowIcon();
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    SCOPED_TRACE(size);
    EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
    // The tree's colours run from blue at the soma to red at the tips.
    const QImage image = icon.pixmap(size, size).toImage();
    int blue = 0, red = 0;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        const QColor color = image.pixelColor(x, y);
        blue += color.blue() > 200 && color.red() < 100;
        red += color.red() > 200 && color.blue() < 100 && color.green() < 100;
      }
    EXPECT_GT(blue, 0);
    EXPECT_GT(red, 0);
  }
  QTemporaryDir dir;
  TDendroviaApplication::PrepareOptions(dir.filePath("dendrovia"));
  {
    TMainForm mainForm(TDendroviaApplication::IniPathFor(dir.filePath("dendrovia")));
    TAboutForm aboutForm;
    mainForm.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mainForm));
    EXPECT_EQ(ServerIconWidths(mainForm).count(16), 1u);
    const QLabel *shown = aboutForm.findChild<QLabel *>("ProgramIcon");
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->pixmap().toImage(), icon.pixmap(32, 32).toImage());
  }
  TOptions::ReleaseInstance();
}

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  TDendroviaApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
