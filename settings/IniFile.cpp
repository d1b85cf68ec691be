#include "settings/IniFile.h"

#include "settings/TextEncoding.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view Utf16LEMark = "\xFF\xFE";
constexpr std::string_view Utf16BEMark = "\xFE\xFF";

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

bool IsQuoted(const std::string &text) {
  return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back()))
    text.remove_suffix(1);
  return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// What a line of the file is.
struct TParsedLine {
  enum class TKind { Other, Section, Key } Kind = TKind::Other;
  std::string_view Name;  // the section or the key
  size_t ValueStart = 0;  // where the value begins in the line (after "=" and blanks)
  std::string_view Value; // the value without blanks around it
};

TParsedLine ParseLine(std::string_view line) {
  TParsedLine parsed;
  const std::string_view text = TrimBlanks(line);
  if (text.empty() || text.front() == ';' || text.front() == '#')
    return parsed;
  if (text.front() == '[') {
    const size_t close = text.find(']');
    parsed.Kind = TParsedLine::TKind::Section;
    parsed.Name = TrimBlanks(text.substr(1, close == std::string_view::npos ? close : close - 1));
    return parsed;
  }
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos)
    return parsed;
  parsed.Name = TrimBlanks(line.substr(0, equals));
  if (parsed.Name.empty())
    return parsed;
  parsed.Kind = TParsedLine::TKind::Key;
  parsed.ValueStart = equals + 1;
  while (parsed.ValueStart < line.size() && IsSpace(line[parsed.ValueStart]))
    ++parsed.ValueStart;
  parsed.Value = TrimBlanks(line.substr(parsed.ValueStart));
  return parsed;
}

bool ReadWholeFile(const std::string &path, std::string &data) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  if (!file)
    return false;
  char buffer[65536];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    data.append(buffer, count);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool WriteAll(int fd, const std::string &data, std::string &reason) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      reason = std::strerror(n < 0 ? errno : EIO);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// How replacing the file by a renamed temporary went; NotPossible (no temporary
// file in that directory, or the owner cannot be kept) leaves writing in place.
enum class TReplaceOutcome { Done, Failed, NotPossible };

// A temporary file that is removed unless it was renamed into place.
class TTempFile {
public:
  explicit TTempFile(const std::filesystem::path &target)
      : Path_((target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string()) {
    Fd_ = ::mkstemp(Path_.data());
    Created_ = Fd_ >= 0;
  }
  ~TTempFile() {
    if (Fd_ >= 0)
      ::close(Fd_);
    if (Created_ && !Renamed_)
      ::unlink(Path_.c_str());
  }
  TTempFile(const TTempFile &) = delete;
  TTempFile &operator=(const TTempFile &) = delete;

  bool IsOpen() const { return Fd_ >= 0; }
  int Descriptor() const { return Fd_; }

  // False when the old file's owner cannot be given to the new one.
  bool TakeOwner(const struct stat &original) {
    return (original.st_uid == ::geteuid() && original.st_gid == ::getegid()) ||
           ::fchown(Fd_, original.st_uid, original.st_gid) == 0;
  }

  bool Finish(const struct stat &original, const std::filesystem::path &target,
              std::string &reason) {
    bool ok = ::fchmod(Fd_, original.st_mode & 07777) == 0 && ::fsync(Fd_) == 0;
    int error = ok ? 0 : errno;
    if (::close(Fd_) != 0 && ok) {
      ok = false;
      error = errno;
    }
    Fd_ = -1;
    if (ok && ::rename(Path_.c_str(), target.c_str()) != 0) {
      ok = false;
      error = errno;
    }
    Renamed_ = ok;
    if (!ok)
      reason = std::strerror(error);
    return ok;
  }

private:
  std::string Path_;
  int Fd_ = -1;
  bool Created_ = false;
  bool Renamed_ = false;
};

TReplaceOutcome ReplaceByRename(const std::filesystem::path &target, const struct stat &original,
                                const std::string &contents, std::string &reason) {
  TTempFile temp(target);
  if (!temp.IsOpen() || !temp.TakeOwner(original))
    return TReplaceOutcome::NotPossible;
  if (!WriteAll(temp.Descriptor(), contents, reason) || !temp.Finish(original, target, reason))
    return TReplaceOutcome::Failed;
  // Make the rename itself durable; the new contents are already on disk.
  const int directory = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return TReplaceOutcome::Done;
}

bool WriteFrom(int fd, const std::string &contents, std::string &reason) {
  if (::lseek(fd, 0, SEEK_SET) != 0 || !WriteAll(fd, contents, reason) ||
      ::ftruncate(fd, static_cast<off_t>(contents.size())) != 0 || ::fsync(fd) != 0) {
    if (reason.empty())
      reason = std::strerror(errno);
    return false;
  }
  return true;
}

// Overwrites the file itself; if that fails midway, writes the old contents back.
bool ReplaceInPlace(const std::filesystem::path &target, const std::string &contents,
                    const std::string &previous, std::string &reason) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  bool ok = WriteFrom(fd, contents, reason);
  if (!ok) {
    std::string ignored;
    WriteFrom(fd, previous, ignored);
  }
  if (::close(fd) != 0 && ok) {
    reason = std::strerror(errno);
    ok = false;
  }
  return ok;
}

} // namespace

bool TryParseProfileInteger(const std::string &text, int32_t &value) {
  size_t i = 0;
  bool hex = false;
  if (text.starts_with("$")) {
    hex = true;
    i = 1;
  } else if (text.starts_with("0x") || text.starts_with("0X")) {
    hex = true;
    i = 2;
  }
  if (hex) {
    if (i == text.size())
      return false;
    uint64_t result = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      else
        return false;
      result = result * 16 + static_cast<uint64_t>(digit);
      if (result > 0xFFFFFFFFu)
        return false;
    }
    value = static_cast<int32_t>(static_cast<uint32_t>(result));
    return true;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size())
    return false;
  int64_t result = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9')
      return false;
    result = result * 10 + (c - '0');
    if (result > int64_t{INT32_MAX} + 1)
      return false;
  }
  if (negative)
    result = -result;
  if (result > INT32_MAX)
    return false;
  value = static_cast<int32_t>(result);
  return true;
}

struct TIniFile::TImpl {
  enum class TEncoding { Bytes, Utf16LE, Utf16BE };
  struct TLine {
    std::string Text;
    std::string End; // "\n", "\r\n" or nothing on the last line
  };

  std::vector<TLine> Lines;
  TEncoding Encoding = TEncoding::Bytes;
  std::string Original; // the file as read
  std::string NewLine = "\n";

  void Reset() {
    Lines.clear();
    Encoding = TEncoding::Bytes;
    Original.clear();
    NewLine = "\n";
  }

  TParsedLine Parse(size_t index) const {
    std::string_view text = Lines[index].Text;
    if (index == 0 && text.starts_with(Utf8Mark))
      text.remove_prefix(Utf8Mark.size());
    TParsedLine parsed = ParseLine(text);
    if (index == 0 && Lines[0].Text.starts_with(Utf8Mark))
      parsed.ValueStart += Utf8Mark.size();
    return parsed;
  }

  // The line of the first matching key; Lines.size() when there is none.
  size_t FindKey(const std::string &section, const std::string &key) const {
    bool inSection = false;
    for (size_t i = 0; i < Lines.size(); ++i) {
      const TParsedLine line = Parse(i);
      if (line.Kind == TParsedLine::TKind::Section)
        inSection = EqualNoCase(line.Name, section);
      else if (inSection && line.Kind == TParsedLine::TKind::Key && EqualNoCase(line.Name, key))
        return i;
    }
    return Lines.size();
  }

  // Where a new key of section goes: after the last key of its first block, or
  // right after its header; nullopt when the section does not exist.
  std::optional<size_t> InsertionPoint(const std::string &section) const {
    std::optional<size_t> point;
    for (size_t i = 0; i < Lines.size(); ++i) {
      const TParsedLine line = Parse(i);
      if (line.Kind == TParsedLine::TKind::Section) {
        if (point)
          break;
        if (EqualNoCase(line.Name, section))
          point = i + 1;
      } else if (point && line.Kind == TParsedLine::TKind::Key) {
        point = i + 1;
      }
    }
    return point;
  }

  void Insert(size_t index, std::string text) {
    if (index > 0 && Lines[index - 1].End.empty())
      Lines[index - 1].End = NewLine;
    Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(index),
                 TLine{std::move(text), NewLine});
  }

  std::string Text() const {
    std::string text;
    for (const TLine &line : Lines)
      text += line.Text + line.End;
    return text;
  }

  std::string Bytes() const {
    switch (Encoding) {
    case TEncoding::Utf16LE:
      return std::string(Utf16LEMark) + EncodeUtf16(Text(), false);
    case TEncoding::Utf16BE:
      return std::string(Utf16BEMark) + EncodeUtf16(Text(), true);
    case TEncoding::Bytes:
      break;
    }
    return Text();
  }
};

TIniFile::TIniFile() : Impl_(std::make_unique<TImpl>()) {}

TIniFile::~TIniFile() = default;

bool TIniFile::Load(const std::string &path) {
  TImpl &impl = *Impl_;
  impl.Reset();
  std::string data;
  if (!ReadWholeFile(path, data))
    return false;
  std::string text;
  if (data.starts_with(Utf16LEMark) || data.starts_with(Utf16BEMark)) {
    const bool bigEndian = data.starts_with(Utf16BEMark);
    std::optional<std::string> decoded =
        DecodeUtf16(std::string_view(data).substr(Utf16LEMark.size()), bigEndian);
    if (!decoded)
      return false;
    text = std::move(*decoded);
    impl.Encoding = bigEndian ? TImpl::TEncoding::Utf16BE : TImpl::TEncoding::Utf16LE;
  } else {
    text = data;
  }
  if (text.find('\0') != std::string::npos) {
    impl.Reset();
    return false;
  }
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    TImpl::TLine line;
    if (end == std::string::npos) {
      line.Text = text.substr(start);
      end = text.size();
    } else {
      line.Text = text.substr(start, end - start);
      line.End = "\n";
      if (line.Text.ends_with('\r')) {
        line.Text.pop_back();
        line.End = "\r\n";
      }
      ++end;
    }
    impl.Lines.push_back(std::move(line));
    start = end;
  }
  if (!impl.Lines.empty() && !impl.Lines.front().End.empty())
    impl.NewLine = impl.Lines.front().End;
  impl.Original = std::move(data);
  return true;
}

std::optional<std::string> TIniFile::Value(const std::string &section,
                                           const std::string &key) const {
  const size_t index = Impl_->FindKey(section, key);
  if (index == Impl_->Lines.size())
    return std::nullopt;
  std::string value(Impl_->Parse(index).Value);
  if (IsQuoted(value))
    value = value.substr(1, value.size() - 2);
  if (value.size() > MaxValueLength) {
    size_t cut = MaxValueLength;
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80)
      --cut;
    value.resize(cut);
  }
  return value;
}

std::optional<int32_t> TIniFile::Integer(const std::string &section, const std::string &key) const {
  const std::optional<std::string> text = Value(section, key);
  int32_t value = 0;
  if (!text || !TryParseProfileInteger(*text, value))
    return std::nullopt;
  return value;
}

bool TIniFile::SetValue(const std::string &section, const std::string &key,
                        const std::string &value) {
  if (value.find_first_of("\r\n") != std::string::npos)
    return false;
  const bool quote =
      IsQuoted(value) || (!value.empty() && (IsSpace(value.front()) || IsSpace(value.back())));
  const std::string stored = quote ? "\"" + value + "\"" : value;
  TImpl &impl = *Impl_;
  const size_t index = impl.FindKey(section, key);
  if (index < impl.Lines.size()) {
    if (Value(section, key) == value)
      return true;
    std::string &line = impl.Lines[index].Text;
    line = line.substr(0, impl.Parse(index).ValueStart) + stored;
    return true;
  }
  std::optional<size_t> at = impl.InsertionPoint(section);
  if (!at) {
    if (!impl.Lines.empty() && !TrimBlanks(impl.Lines.back().Text).empty())
      impl.Insert(impl.Lines.size(), "");
    impl.Insert(impl.Lines.size(), "[" + section + "]");
    at = impl.Lines.size();
  }
  impl.Insert(*at, key + "=" + stored);
  return true;
}

void TIniFile::SetInteger(const std::string &section, const std::string &key, int64_t value) {
  if (Integer(section, key) == value)
    return;
  SetValue(section, key, std::to_string(value));
}

bool TIniFile::Save(const std::string &path, std::string *reason) const {
  std::string why;
  const bool saved = [&] {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    struct stat original;
    if (error || ::stat(target.c_str(), &original) != 0) {
      why = error ? error.message() : std::strerror(errno);
      return false;
    }
    if (!S_ISREG(original.st_mode)) {
      why = "not a regular file";
      return false;
    }
    const std::string contents = Impl_->Bytes();
    if (contents == Impl_->Original)
      return true;
    switch (ReplaceByRename(target, original, contents, why)) {
    case TReplaceOutcome::Done:
      return true;
    case TReplaceOutcome::Failed:
      return false;
    case TReplaceOutcome::NotPossible:
      break;
    }
    return ReplaceInPlace(target, contents, Impl_->Original, why);
  }();
  if (!saved && reason != nullptr)
    *reason = why;
  return saved;
}
