#include "app/FileBrowser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::array<unsigned char, 8> OnePointFive{0, 0, 0, 0, 0, 0, 0xF8, 0x3F};

void WriteFile(const QString &path, const std::string &bytes) {
  std::ofstream file(QFile::encodeName(path).toStdString(), std::ios::binary);
  file << bytes;
}

std::string Header(const std::string &signature, const std::string &rest) {
  return signature + "\n" + std::string(OnePointFive.begin(), OnePointFive.end()) + rest;
}

TDataFileHeaderStart Read(const QString &path, bool &ok) {
  TDataFileHeaderStart header;
  ok = ReadDataFileHeader(QFile::encodeName(path).toStdString(), "MTSD", header);
  return header;
}

} // namespace

TEST(FileBrowser, DataFileNamesIgnoreCaseAndNeedTheExactExtensionLength) {
  EXPECT_TRUE(IsDataFileName("a.dat", "dat"));
  EXPECT_TRUE(IsDataFileName("b.DAT", "dat"));
  EXPECT_TRUE(IsDataFileName("run.2.Dat", "dat"));
  EXPECT_FALSE(IsDataFileName("c.data", "dat"));
  EXPECT_FALSE(IsDataFileName("c.dat.bak", "dat"));
  EXPECT_FALSE(IsDataFileName("dat", "dat"));
  EXPECT_FALSE(IsDataFileName("adat", "dat"));
  // Wildcards of the extension setting work as in a directory search pattern.
  EXPECT_TRUE(IsDataFileName("a.dab", "da?"));
  EXPECT_FALSE(IsDataFileName("a.dabb", "da?"));

  EXPECT_TRUE(MatchesWildcard("Cell.DAT", "*.dat"));
  EXPECT_TRUE(MatchesWildcard("a.b.c", "*.*"));
  EXPECT_TRUE(MatchesWildcard("abcabd", "*abd"));
  EXPECT_FALSE(MatchesWildcard("abc", "?"));
  EXPECT_FALSE(MatchesWildcard("abc", "*.dat"));
}

TEST(FileBrowser, PathsGetOneSeparator) {
  EXPECT_EQ(JoinPath("/", "a.dat"), "/a.dat");
  EXPECT_EQ(JoinPath("/data", "a.dat"), "/data/a.dat");
  EXPECT_EQ(JoinPath("/data/", "a.dat"), "/data/a.dat");
  EXPECT_EQ(JoinPath("/data", ""), "/data/");

  EXPECT_EQ(DirectoryAncestors("/"), QStringList{"/"});
  EXPECT_EQ(DirectoryAncestors("/work/main/"), (QStringList{"/", "/work", "/work/main"}));
  EXPECT_EQ(DirectoryAncestors("relative"), QStringList{"/"});

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  EXPECT_EQ(NearestExistingDirectory(dir.path() + "/no/such/dir"), dir.path());
  EXPECT_EQ(NearestExistingDirectory(dir.path() + "/./"), dir.path());
}

TEST(FileBrowser, DirectoriesDifferingOnlyInCaseAreTwoOnACaseSensitiveFileSystem) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("cases/Data") && QDir(dir.path()).mkpath("cases/data"));
  const QString base = dir.path() + "/cases/";
  const struct {
    QString First, Second;
    bool Same;
  } cases[] = {
      {base + "Data", base + "Data", true},  {base + "Data", base + "data", false},
      {base + "Data", base + "DATA", false}, {base + "Data", base + "other", false},
      {base + "gone", base + "GONE", false}, {QString(), QString(), true},
  };
  for (const auto &c : cases)
    EXPECT_EQ(IsSameDirectory(c.First, c.Second), c.Same)
        << c.First.toStdString() << " " << c.Second.toStdString();
}

TEST(FileBrowser, ListsRegularVisibleDataFilesInDirectoryOrder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString root = dir.path();
  for (const char *name : {"a.dat", "b.DAT", "c.data", ".hidden.dat", "notes.txt", "z.dat"})
    WriteFile(root + "/" + name, "MTSD\n");
  ASSERT_TRUE(QDir(root).mkdir("d.dat"));
  ASSERT_EQ(mkfifo(QFile::encodeName(root + "/pipe.dat").constData(), 0600), 0);
  std::filesystem::create_symlink("a.dat", QFile::encodeName(root + "/link.dat").toStdString());
  std::filesystem::create_symlink("gone.dat",
                                  QFile::encodeName(root + "/broken.dat").toStdString());

  const std::vector<TDataFileEntry> entries = ListDataFiles(root, "dat");

  // Expected: the directory's own order, not sorted.
  QStringList expected;
  for (const auto &entry : std::filesystem::directory_iterator(QFile::encodeName(root).data())) {
    const QString name = QString::fromStdString(entry.path().filename().string());
    if (name == "a.dat" || name == "b.DAT" || name == "z.dat" || name == "link.dat")
      expected << name;
  }
  QStringList names;
  for (const TDataFileEntry &entry : entries) {
    names << entry.Name;
    EXPECT_EQ(entry.Path, root + "/" + entry.Name);
    EXPECT_TRUE(entry.LastWrite.isValid());
  }
  EXPECT_EQ(names, expected);

  EXPECT_TRUE(ListDataFiles(root + "/no-such-dir", "dat").empty());
}

TEST(FileBrowser, ReadsTheDescriptionFromTheHeader) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString root = dir.path();
  bool ok = false;

  WriteFile(root + "/cell.dat", Header("MTSD", "Cell 7 run\n3 sections follow"));
  TDataFileHeaderStart header = Read(root + "/cell.dat", ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(header.Description, "Cell 7 run");
  EXPECT_EQ(header.Reserved1, OnePointFive);

  // The signature is compared with its case.
  WriteFile(root + "/lower.dat", Header("mtsd", "Cell 7 run\n"));
  header = Read(root + "/lower.dat", ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(header.Description, "");

  // The last line of a file keeps all of its characters.
  WriteFile(root + "/end.dat", Header("MTSD", "Cell 7 run"));
  EXPECT_EQ(Read(root + "/end.dat", ok).Description, "Cell 7 run");
  EXPECT_TRUE(ok);

  // A Windows line end is one line end.
  WriteFile(root + "/crlf.dat", Header("MTSD", "Cell 7 run\r\nnext"));
  EXPECT_EQ(Read(root + "/crlf.dat", ok).Description, "Cell 7 run");

  // Blanks and line ends before and after the signature are skipped.
  WriteFile(root + "/blank.dat",
            " \r\n\tMTSD \r\n" + std::string(OnePointFive.begin(), OnePointFive.end()) + "x\n");
  header = Read(root + "/blank.dat", ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(header.Description, "x");
  EXPECT_EQ(header.Reserved1, OnePointFive);

  // The description is cut at 1023 characters.
  WriteFile(root + "/long.dat", Header("MTSD", std::string(2000, 'd') + "\n"));
  EXPECT_EQ(Read(root + "/long.dat", ok).Description, std::string(1023, 'd'));

  WriteFile(root + "/short.dat", "MTSD");
  header = Read(root + "/short.dat", ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(header.Description, "");

  WriteFile(root + "/longword.dat", "MTSD" + std::string(1100, 'x') + "\n");
  EXPECT_TRUE(Read(root + "/longword.dat", ok).Description.empty());
  EXPECT_FALSE(ok);

  WriteFile(root + "/empty.dat", "");
  Read(root + "/empty.dat", ok);
  EXPECT_FALSE(ok);
  Read(root + "/missing.dat", ok);
  EXPECT_FALSE(ok);
  ASSERT_TRUE(QDir(root).mkdir("sub.dat"));
  Read(root + "/sub.dat", ok);
  EXPECT_FALSE(ok);
}

TEST(FileBrowser, DateTextIsLocalShortDateAndLongTimeAtTwoSeconds) {
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  const QLocale de(QLocale::German, QLocale::Germany);
  EXPECT_EQ(LongTimeFormat(us), "h:mm:ss AP");
  EXPECT_EQ(LongTimeFormat(de), "HH:mm:ss");

  const QDate day(2024, 3, 5);
  EXPECT_EQ(FileDateText(QDateTime(day, QTime(14, 7, 9, 900)), us), "3/5/24 2:07:08 PM");
  EXPECT_EQ(FileDateText(QDateTime(day, QTime(14, 7, 8)), de), "05.03.24 14:07:08");
  // Midnight (also one second past it, rounded down) shows the date alone.
  EXPECT_EQ(FileDateText(QDateTime(day, QTime(0, 0, 1)), de), "05.03.24");
  EXPECT_EQ(FileDateText(QDateTime(day, QTime(0, 0, 2)), de), "05.03.24 00:00:02");
  // Times are shown in local time.
  const QDateTime utc(day, QTime(12, 0), Qt::UTC);
  EXPECT_EQ(FileDateText(utc, de), de.toString(utc.toLocalTime().date(), QLocale::ShortFormat) +
                                       " " + de.toString(utc.toLocalTime().time(), "HH:mm:ss"));
}
