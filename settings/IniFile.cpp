#include "settings/IniFile.h"

#include <SimpleIni.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

bool IsQuoted(const std::string &text) {
  return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

bool IsCommentLine(const std::string &line) {
  const size_t first = line.find_first_not_of(" \t");
  return first != std::string::npos && (line[first] == ';' || line[first] == '#');
}

bool IsBlankLine(const std::string &line) {
  return line.find_first_not_of(" \t\r") == std::string::npos;
}

// SimpleIni attaches comments to the entry that follows them, so comment lines after
// the last entry would be dropped on saving; they are kept here and written back.
std::string TrailingComments(const std::string &data) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos)
      end = data.size();
    std::string line = data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  size_t first = lines.size();
  while (first > 0 && (IsBlankLine(lines[first - 1]) || IsCommentLine(lines[first - 1])))
    --first;
  if (first == 0)
    return {};
  std::string comments;
  for (size_t i = first; i < lines.size(); ++i)
    if (IsCommentLine(lines[i]))
      comments += lines[i] + "\n";
  return comments;
}

// SimpleIni puts two blank lines before every section; one is what people write.
std::string CollapseBlankLines(const std::string &text) {
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    const size_t n = result.size();
    if (c == '\n' && n >= 2 && result[n - 1] == '\n' && result[n - 2] == '\n')
      continue;
    result += c;
  }
  return result;
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

  bool Write(const std::string &data) {
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::write(Fd_, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  bool TakeOver(const struct stat &original) {
    if ((original.st_uid != ::geteuid() || original.st_gid != ::getegid()) &&
        ::fchown(Fd_, original.st_uid, original.st_gid) != 0)
      return false;
    return ::fchmod(Fd_, original.st_mode & 07777) == 0;
  }

  bool Close() {
    const bool synced = ::fsync(Fd_) == 0;
    const bool closed = ::close(Fd_) == 0;
    Fd_ = -1;
    return synced && closed;
  }

  bool RenameTo(const std::filesystem::path &target) {
    Renamed_ = ::rename(Path_.c_str(), target.c_str()) == 0;
    return Renamed_;
  }

private:
  std::string Path_;
  int Fd_ = -1;
  bool Created_ = false;
  bool Renamed_ = false;
};

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
  // UTF-8 store, duplicate keys kept (so that the first one can win), no multi-line values.
  CSimpleIniA Ini{true, true, false};
  bool Signature = false;
  std::string Trailing;
};

TIniFile::TIniFile() : Impl_(std::make_unique<TImpl>()) {
  Impl_->Ini.SetSpaces(false);
  Impl_->Ini.SetQuotes(false);
}

TIniFile::~TIniFile() = default;

bool TIniFile::Load(const std::string &path) {
  std::string data;
  Impl_->Ini.Reset();
  Impl_->Signature = false;
  Impl_->Trailing.clear();
  if (!ReadWholeFile(path, data))
    return false;
  if (Impl_->Ini.LoadData(data.data(), data.size()) < 0) {
    Impl_->Ini.Reset();
    return false;
  }
  Impl_->Signature = data.starts_with(SI_UTF8_SIGNATURE);
  Impl_->Trailing = TrailingComments(data);
  return true;
}

std::optional<std::string> TIniFile::Value(const std::string &section,
                                           const std::string &key) const {
  const char *raw = Impl_->Ini.GetValue(section.c_str(), key.c_str(), nullptr);
  if (!raw)
    return std::nullopt;
  std::string value(raw);
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
  return Impl_->Ini.SetValue(section.c_str(), key.c_str(), stored.c_str(), nullptr, true) >= 0;
}

void TIniFile::SetInteger(const std::string &section, const std::string &key, int64_t value) {
  SetValue(section, key, std::to_string(value));
}

bool TIniFile::Save(const std::string &path) const {
  std::string saved;
  if (Impl_->Ini.Save(saved, Impl_->Signature) < 0)
    return false;
  std::string contents = CollapseBlankLines(saved);
  if (!Impl_->Trailing.empty())
    contents += "\n" + Impl_->Trailing;

  std::error_code error;
  const std::filesystem::path target = std::filesystem::canonical(path, error);
  struct stat original;
  if (error || ::stat(target.c_str(), &original) != 0 || !S_ISREG(original.st_mode))
    return false;
  TTempFile temp(target);
  if (!temp.IsOpen() || !temp.Write(contents) || !temp.TakeOver(original) || !temp.Close() ||
      !temp.RenameTo(target))
    return false;
  // Make the rename itself durable; the new contents are already on disk.
  const int directory = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return true;
}
