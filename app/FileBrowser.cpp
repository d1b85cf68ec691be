#include "app/FileBrowser.h"

#include "data/CStream.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <filesystem>

namespace {

constexpr int TextBufferLength = 1023;

} // namespace

bool ReadDataFileHeader(const std::string &path, const std::string &signature,
                        TDataFileHeaderStart &header) {
  header = TDataFileHeaderStart{};
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    return false;
  TFilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file)
    return false;
  std::FILE *f = file.get();

  int c = std::getc(f);
  while (IsBlank(c))
    c = std::getc(f);
  std::string word;
  while (c != EOF && !IsBlank(c)) {
    if (static_cast<int>(word.size()) == TextBufferLength)
      return false;
    word.push_back(static_cast<char>(c));
    c = std::getc(f);
  }
  if (word.empty() || word != signature)
    return false;
  while (IsBlank(c))
    c = std::getc(f);
  if (c != EOF)
    std::ungetc(c, f);

  std::fread(header.Reserved1.data(), 1, header.Reserved1.size(), f);

  std::string line;
  while (static_cast<int>(line.size()) < TextBufferLength && (c = std::getc(f)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n')
      break;
  }
  // Only a line end is dropped: a description that ends the file keeps its last
  // character. A Windows line end counts as one, as a text-mode read would see it.
  if (!line.empty() && line.back() == '\n') {
    line.pop_back();
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
  }
  header.Description = std::move(line);
  return true;
}

QString JoinPath(const QString &directory, const QString &name) {
  return directory.endsWith(u'/') ? directory + name : directory + u'/' + name;
}

bool MatchesWildcard(const QString &name, const QString &pattern) {
  // Greedy match with one backtrack point at the last "*".
  qsizetype n = 0, p = 0, starP = -1, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == u'?' || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
      ++p;
      ++n;
    } else if (starP >= 0) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*')
    ++p;
  return p == pattern.size();
}

bool IsDataFileName(const QString &name, const QString &extension) {
  if (!MatchesWildcard(name, QStringLiteral("*.") + extension))
    return false;
  return name.size() - name.lastIndexOf(u'.') == extension.size() + 1;
}

std::vector<TDataFileEntry> ListDataFiles(const QString &directory, const QString &extension) {
  std::vector<TDataFileEntry> entries;
  // Without QDir::Hidden and QDir::System: no dot files, fifos, sockets or devices.
  QDirIterator it(directory, QDir::Files | QDir::NoDotAndDotDot);
  while (it.hasNext()) {
    it.next();
    const QFileInfo info = it.fileInfo();
    const QString name = info.fileName();
    if (name.startsWith(u'.') || !info.isFile() || !IsDataFileName(name, extension))
      continue;
    entries.push_back({name, JoinPath(directory, name), info.lastModified()});
  }
  return entries;
}

bool IsSameDirectory(const QString &first, const QString &second) {
  if (first == second)
    return true;
  if (first.compare(second, Qt::CaseInsensitive) != 0)
    return false;
  std::error_code error;
  return std::filesystem::equivalent(QFile::encodeName(first).toStdString(),
                                     QFile::encodeName(second).toStdString(), error);
}

QString LongTimeFormat(const QLocale &locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString result;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == u'\'')
      quoted = !quoted;
    if (quoted || c != u't')
      result += c;
  }
  return result.simplified();
}

QString FileDateText(const QDateTime &lastWrite, const QLocale &locale) {
  const QDateTime local = lastWrite.toLocalTime();
  const QTime exact = local.time();
  const QTime time(exact.hour(), exact.minute(), exact.second() & ~1);
  QString text = locale.toString(local.date(), QLocale::ShortFormat);
  if (time != QTime(0, 0))
    text += u' ' + locale.toString(time, LongTimeFormat(locale));
  return text;
}

QStringList DirectoryAncestors(const QString &directory) {
  QStringList result{QStringLiteral("/")};
  if (!directory.startsWith(u'/'))
    return result;
  QString path;
  for (const QString &part : QDir::cleanPath(directory).split(u'/', Qt::SkipEmptyParts)) {
    path += u'/' + part;
    result.append(path);
  }
  return result;
}

QString NearestExistingDirectory(const QString &path) {
  QString result = QDir::cleanPath(QDir(path).absolutePath());
  while (!QFileInfo(result).isDir() && result != QStringLiteral("/"))
    result = QFileInfo(result).absolutePath();
  return result;
}
