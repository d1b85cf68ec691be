// The installed program as a Debian user gets it: the files `cmake --install`
// puts under a prefix, the program run from there by a user who may not write
// it, and the Debian package `cpack` makes.
#include "SampleDataFile.h"

#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const QStringList IconSizes = {"16", "22", "24", "32", "48", "64", "128", "256"};

// Every file an installation puts under its prefix.
QStringList InstalledFiles() {
  QStringList files = {"bin/dendrovia",
                       "share/dendrovia/dendrovia.ini",
                       "share/dendrovia/palettes/coolwarm.ncm",
                       "share/dendrovia/palettes/hot.ncm",
                       "share/dendrovia/palettes/viridis.ncm",
                       "share/applications/dendrovia.desktop",
                       "share/mime/packages/dendrovia.xml",
                       "share/icons/hicolor/scalable/apps/dendrovia.svg"};
  for (const QString &size : IconSizes)
    files << "share/icons/hicolor/" + size + "x" + size + "/apps/dendrovia.png";
  return files;
}

// Runs a program to its end; returns its exit code and puts its output in *output.
int RunTool(const QString &program, const QStringList &arguments, QString *output = nullptr,
            const QString &directory = {}) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  if (!directory.isEmpty())
    process.setWorkingDirectory(directory);
  process.start(program, arguments);
  if (!process.waitForFinished(300000))
    return -1;
  if (output != nullptr)
    *output = QString::fromLocal8Bit(process.readAll());
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray ReadText(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A prefix with the program installed, in folders that every user may enter.
class TInstallation {
public:
  TInstallation() {
    ::chmod(QFile::encodeName(Dir.path()).constData(), 0755);
    Installed =
        RunTool("cmake", {"--install", DENDROVIA_BINARY_DIR, "--prefix", Prefix()}, &Output);
  }
  QString Prefix() const { return Dir.filePath("usr"); }
  QString Path(const QString &relative) const { return Prefix() + "/" + relative; }

  QTemporaryDir Dir;
  int Installed = -1;
  QString Output;
};

// Top-level windows of the X server as a window manager sees them.
class TXServer {
  struct TFree {
    void operator()(void *reply) const { std::free(reply); }
  };
  template <class T> using Reply = std::unique_ptr<T, TFree>;

public:
  TXServer() : Connection(xcb_connect(nullptr, nullptr), &xcb_disconnect) {}
  bool Connected() const { return !xcb_connection_has_error(Connection.get()); }

  struct TWindow {
    xcb_window_t Id;
    QString Title;
    QSize Size;
  };

  // The mapped windows of process pid.
  std::vector<TWindow> WindowsOf(pid_t pid) {
    std::vector<TWindow> windows;
    xcb_connection_t *c = Connection.get();
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, screen->root), nullptr));
    if (!tree)
      return windows;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
      const Reply<xcb_get_window_attributes_reply_t> attributes(
          xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr));
      const QByteArray owner = Property(children[i], "_NET_WM_PID", XCB_ATOM_CARDINAL);
      if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || owner.size() != 4 ||
          *reinterpret_cast<const uint32_t *>(owner.constData()) != static_cast<uint32_t>(pid))
        continue;
      const Reply<xcb_get_geometry_reply_t> geometry(
          xcb_get_geometry_reply(c, xcb_get_geometry(c, children[i]), nullptr));
      windows.push_back(
          {children[i],
           QString::fromUtf8(Property(children[i], "_NET_WM_NAME", Atom("UTF8_STRING"))),
           geometry ? QSize(geometry->width, geometry->height) : QSize()});
    }
    return windows;
  }

  // Waits until process pid shows a window of that title.
  std::optional<TWindow> Await(pid_t pid, const QString &title) {
    for (int attempt = 0; attempt < 300; ++attempt) {
      for (const TWindow &window : WindowsOf(pid))
        if (window.Title == title)
          return window;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
  }

  // Asks a window to close, as a window manager's close button does.
  void Close(xcb_window_t window) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = Atom("WM_PROTOCOLS");
    message.data.data32[0] = Atom("WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(Connection.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(Connection.get());
  }

private:
  xcb_atom_t Atom(const char *name) {
    xcb_connection_t *c = Connection.get();
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }

  QByteArray Property(xcb_window_t window, const char *name, xcb_atom_t type) {
    xcb_connection_t *c = Connection.get();
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, Atom(name), type, 0, 1024), nullptr));
    if (!reply)
      return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
  }

  std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> Connection;
};

// The installed program started as the user "nobody" with that configuration
// folder; its standard error goes to errors.
pid_t StartAsNobody(const QString &program, const QStringList &files, const QString &configHome,
                    const QString &errors) {
  const passwd *nobody = ::getpwnam("nobody");
  // An X server started with a cookie (xvfb-run) lets in only who can read
  // it, and root's copy is not for nobody.
  QString xauthority;
  if (const QByteArray cookie = qgetenv("XAUTHORITY"); !cookie.isEmpty() && nobody != nullptr) {
    xauthority = configHome + "/Xauthority";
    QFile::remove(xauthority);
    if (!QFile::copy(QFile::decodeName(cookie), xauthority) ||
        ::chown(QFile::encodeName(xauthority).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
      xauthority.clear();
  }
  const pid_t child = ::fork();
  if (child != 0)
    return child;
  const int errorFile =
      ::open(QFile::encodeName(errors).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(errorFile, STDERR_FILENO);
  ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
  if (nobody == nullptr || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
    ::_exit(100);
  ::setenv("HOME", "/nonexistent", 1);
  ::setenv("XDG_CONFIG_HOME", QFile::encodeName(configHome).constData(), 1);
  if (!xauthority.isEmpty())
    ::setenv("XAUTHORITY", QFile::encodeName(xauthority).constData(), 1);
  ::unsetenv("XDG_RUNTIME_DIR");
  std::vector<QByteArray> arguments{QFile::encodeName(program)};
  for (const QString &file : files)
    arguments.push_back(QFile::encodeName(file));
  std::vector<char *> argv;
  for (QByteArray &argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(101);
}

// A started program, killed when the test leaves it running.
class TChild {
public:
  explicit TChild(pid_t pid) : Pid(pid) {}
  ~TChild() {
    if (Pid > 0) {
      ::kill(Pid, SIGKILL);
      ::waitpid(Pid, nullptr, 0);
    }
  }
  TChild(const TChild &) = delete;
  TChild &operator=(const TChild &) = delete;

  // The exit code, or -2 when it does not end within 20 s.
  int AwaitExit() {
    for (int attempt = 0; attempt < 400; ++attempt) {
      int status = 0;
      if (::waitpid(Pid, &status, WNOHANG) == Pid) {
        Pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -2;
  }

  pid_t Pid;
};

} // namespace

TEST(Install, PutsTheProgramItsDataTheDesktopEntryTheMimeTypeAndTheIconsUnderThePrefix) {
  TInstallation installation;
  ASSERT_EQ(installation.Installed, 0) << installation.Output.toStdString();
  for (const QString &file : InstalledFiles())
    EXPECT_TRUE(QFileInfo(installation.Path(file)).isFile()) << file.toStdString();
  EXPECT_TRUE(QFileInfo(installation.Path("bin/dendrovia")).isExecutable());
  for (const QString &size : IconSizes) {
    const QImage icon(
        installation.Path("share/icons/hicolor/" + size + "x" + size + "/apps/dendrovia.png"));
    EXPECT_EQ(icon.size(), QSize(size.toInt(), size.toInt()));
  }

  QString output;
  const QString desktop = installation.Path("share/applications/dendrovia.desktop");
  EXPECT_EQ(RunTool("desktop-file-validate", {desktop}, &output), 0) << output.toStdString();
  EXPECT_TRUE(output.isEmpty()) << output.toStdString();
  const QByteArray entry = ReadText(desktop);
  EXPECT_TRUE(entry.contains("\nExec=dendrovia %F\n"));
  EXPECT_TRUE(entry.contains("\nMimeType=application/x-dendrovia;\n"));
  EXPECT_TRUE(entry.contains("\nIcon=dendrovia\n"));

  const QString mime = installation.Path("share/mime/packages/dendrovia.xml");
  EXPECT_EQ(RunTool("xmllint", {"--noout", mime}, &output), 0) << output.toStdString();
  EXPECT_EQ(RunTool("xmllint",
                    {"--xpath",
                     "concat(//*[local-name()='match']/@offset, ' ', "
                     "//*[local-name()='match']/@value, ' ', "
                     "//*[local-name()='glob']/@weight)",
                     mime},
                    &output),
            0);
  EXPECT_EQ(output.trimmed().toStdString(), "0 MTSD 10");

  // Recognised as a desktop does: by the signature whatever the name.
  ASSERT_EQ(RunTool("update-mime-database", {installation.Path("share/mime")}, &output), 0)
      << output.toStdString();
  qputenv("XDG_DATA_DIRS", (installation.Path("share") + ":/usr/share").toLocal8Bit());
  const QString data = installation.Dir.filePath("data");
  QDir().mkpath(data);
  ASSERT_TRUE(WriteSampleDataFile((data + "/cell.dat").toStdString(), FrameTimes(0, 1, 2)));
  ASSERT_TRUE(WriteSampleDataFile((data + "/renamed.bin").toStdString(), FrameTimes(0, 1, 2)));
  QFile other(data + "/other.bin");
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.write(QByteArray("\x7f"
                         "ELF\x02\x01\x01",
                         7) +
              QByteArray(200, '\0'));
  other.close();
  const struct {
    const char *File;
    bool Ours;
  } cases[] = {{"cell.dat", true}, {"renamed.bin", true}, {"other.bin", false}};
  const QMimeDatabase database;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.File);
    const QMimeType type = database.mimeTypeForFile(data + "/" + c.File);
    EXPECT_EQ(type.name() == "application/x-dendrovia", c.Ours) << type.name().toStdString();
  }
  EXPECT_EQ(database.mimeTypeForName("application/x-dendrovia").iconName(), "dendrovia");
}

TEST(Install, TheInstalledProgramOpensFilesAndKeepsItsSettingsInTheUsersFolder) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root, to install where nobody may not write and to become nobody";
  TXServer server;
  if (!server.Connected())
    GTEST_SKIP() << "needs an X server";
  TInstallation installation;
  ASSERT_EQ(installation.Installed, 0) << installation.Output.toStdString();
  const QString data = installation.Dir.filePath("data"),
                config = installation.Dir.filePath("config"),
                errors = installation.Dir.filePath("errors.txt");
  QDir().mkpath(data);
  QDir().mkpath(config);
  const passwd *nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  ASSERT_EQ(::chown(QFile::encodeName(config).constData(), nobody->pw_uid, nobody->pw_gid), 0);
  for (const char *name : {"/a.dat", "/b.dat"})
    ASSERT_TRUE(WriteSampleDataFile((data + name).toStdString(), FrameTimes(0, 1, 2)));
  const QString program = installation.Path("bin/dendrovia");
  const QString userIni = config + "/dendrovia/dendrovia.ini";

  // Two files and a missing one: two Control Windows, one box, the reason on
  // standard error; closing the box and the main window ends the program.
  TChild first(StartAsNobody(program, {data + "/a.dat", data + "/missing.dat", data + "/b.dat"},
                             config, errors));
  const pid_t child = first.Pid;
  for (const char *title : {"Data Control - a.dat", "Data Control - b.dat"})
    EXPECT_TRUE(server.Await(child, title)) << title;
  const auto box = server.Await(child, "Opening files");
  ASSERT_TRUE(box);
  server.Close(box->Id);
  const auto main = server.Await(child, "Dendrovia");
  ASSERT_TRUE(main);
  server.Close(main->Id);
  ASSERT_EQ(first.AwaitExit(), 0);
  EXPECT_TRUE(ReadText(errors).contains("dendrovia: " + QFile::encodeName(data) +
                                        "/missing.dat: No such file or directory\n"))
      << ReadText(errors).toStdString();

  // The settings went to the user's folder, from the installation's defaults,
  // with the folder of the files given; the installation is as it was.
  TIniFile ini;
  ASSERT_TRUE(ini.Load(QFile::encodeName(userIni).toStdString()));
  EXPECT_EQ(QFileInfo(userIni).ownerId(), nobody->pw_uid);
  EXPECT_EQ(ini.Value("Data", "Directory"), QFile::encodeName(data).toStdString());
  EXPECT_EQ(ini.Value("FilePanel", "Column2Title"), "Filename");
  EXPECT_TRUE(ini.Integer("MainForm", "Width").has_value());
  EXPECT_FALSE(QFileInfo::exists(installation.Path("bin/dendrovia.ini")));
  EXPECT_FALSE(ReadText(installation.Path("share/dendrovia/dendrovia.ini"))
                   .contains(QFile::encodeName(data)));

  // The next start reads them there.
  ini.SetInteger("MainForm", "Width", 700);
  ini.SetInteger("MainForm", "Height", 500);
  ASSERT_TRUE(ini.Save(QFile::encodeName(userIni).toStdString()));
  TChild second(StartAsNobody(program, {}, config, errors));
  const auto again = server.Await(second.Pid, "Dendrovia");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Size, QSize(700, 500));
  server.Close(again->Id);
  EXPECT_EQ(second.AwaitExit(), 0);
}

TEST(Install, CPackMakesADebianPackageWithItsDependencies) {
  QTemporaryDir output;
  QString log;
  ASSERT_EQ(RunTool("cpack", {"-G", "DEB", "-B", output.path()}, &log, DENDROVIA_BINARY_DIR), 0)
      << log.toStdString();
  QString architecture;
  ASSERT_EQ(RunTool("dpkg", {"--print-architecture"}, &architecture), 0);
  const QString package = output.filePath(
      QStringLiteral("dendrovia_%1_%2.deb").arg(DENDROVIA_VERSION, architecture.trimmed()));
  ASSERT_TRUE(QFileInfo(package).isFile()) << log.toStdString();

  QString fields;
  ASSERT_EQ(RunTool("dpkg-deb", {"--field", package, "Package", "Depends", "Recommends"}, &fields),
            0);
  EXPECT_TRUE(fields.startsWith("Package: dendrovia\n")) << fields.toStdString();
  EXPECT_TRUE(fields.contains("\nRecommends: ffmpeg\n")) << fields.toStdString();
  const QString depends = fields.section("Depends: ", 1).section('\n', 0, 0);
  // Computed from the libraries the program links, and the platform plugin it loads.
  for (const char *dependency : {"libc6 (", "libqt6core6 (", "libqt6gui6 (", "libqt6widgets6 (",
                                 "libopengl0", "libglu1-mesa", "qt6-qpa-plugins"})
    EXPECT_TRUE(depends.contains(dependency)) << dependency << " in " << depends.toStdString();

  QString listing;
  ASSERT_EQ(RunTool("dpkg-deb", {"--contents", package}, &listing), 0);
  QStringList contents;
  for (const QString &line : listing.split('\n', Qt::SkipEmptyParts))
    if (!line.startsWith('d'))
      contents << line.section(' ', -1);
  contents.sort();
  QStringList expected;
  for (const QString &file : InstalledFiles())
    expected << "./usr/" + file;
  expected.sort();
  EXPECT_EQ(contents, expected);
}
