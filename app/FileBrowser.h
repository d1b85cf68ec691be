#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <string>
#include <vector>

// The start of a data file's header as the file browser reads it.
struct TDataFileHeaderStart {
  std::array<unsigned char, 8> Reserved1{};
  std::string Description;
};

// Reads the signature word, the 8 bytes of the first reserved double and the
// description line of a data file. The signature must equal signature exactly
// (case counts) and may be at most 1023 characters long. The description is the
// rest of that line, at most 1023 characters, without its line end (a line feed,
// or a carriage return and line feed). Returns false, with the description empty
// and the bytes zero, when the file cannot be opened or does not begin with the
// signature.
bool ReadDataFileHeader(const std::string &path, const std::string &signature,
                        TDataFileHeaderStart &header);

// directory and name joined with one "/" (none added when the directory already
// ends with one, as "/" does).
QString JoinPath(const QString &directory, const QString &name);

// Whole-name match of a pattern with "*" (any run of characters) and "?" (one
// character), ignoring case.
bool MatchesWildcard(const QString &name, const QString &pattern);

// True when name matches "*." + extension and its extension (from the last "."
// on, the dot included) is exactly one character longer than extension, so that
// "c.data" is no "dat" file.
bool IsDataFileName(const QString &name, const QString &extension);

// One listed data file.
struct TDataFileEntry {
  QString Name; // without the directory
  QString Path; // directory and name
  QDateTime LastWrite;
};

// The data files of a directory in the order the directory holds them: regular
// files (or links to them) whose names pass IsDataFileName, without hidden files
// (names beginning with "."). A directory that cannot be read gives no entries.
std::vector<TDataFileEntry> ListDataFiles(const QString &directory, const QString &extension);

// Whether two names of directories name the same one: the same text, or the
// same text but for letter case where the file system ignores case (both then
// are one existing directory). On a case-sensitive file system "cases/Data" and
// "cases/data" are two directories.
bool IsSameDirectory(const QString &first, const QString &second);

// The locale's long time format without its time zone.
QString LongTimeFormat(const QLocale &locale);

// A last-write time as the file list shows it: in local time, rounded down to
// two seconds, as the locale's short date and long time; at exactly midnight
// the date alone.
QString FileDateText(const QDateTime &lastWrite, const QLocale &locale);

// The absolute, cleaned form of path, or of its nearest ancestor that exists as a
// directory ("/" at worst). A relative path is taken from the working directory.
QString NearestExistingDirectory(const QString &path);

// The directory list's entries for a directory: the directory's ancestors from
// "/" down to the directory itself. An empty or relative path gives "/" alone.
QStringList DirectoryAncestors(const QString &directory);
