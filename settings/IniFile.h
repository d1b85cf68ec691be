#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Integer as a profile file holds it: decimal with an optional sign, or hexadecimal
// with a "$", "0x" or "0X" prefix whose 32 bits are taken as a signed number
// ("$FFFFFFFF" is -1). Returns false, leaving value unchanged, for anything else,
// including values outside 32 bits.
bool TryParseProfileInteger(const std::string &text, int32_t &value);

// An INI file with the semantics of profile files: section and key names compared
// without regard to case, the first of duplicate keys wins, values come back without
// blanks around them and without one pair of enclosing double quotes. The file is
// kept line by line as read: writing a key replaces that key's value in its line or
// adds a line to its section, and every other byte stays as it was, whatever its
// encoding. A file that starts with a UTF-16 byte-order mark is read whole and
// written back in UTF-16; any other file is taken byte for byte.
class TIniFile {
public:
  static constexpr size_t MaxValueLength = 2047;

  TIniFile();
  ~TIniFile();
  TIniFile(const TIniFile &) = delete;
  TIniFile &operator=(const TIniFile &) = delete;

  // Reads and parses the file. Returns false, leaving the object empty, when the file
  // cannot be read, when it holds a NUL byte outside UTF-16 (its text would end there
  // for the programs that read such files) or is malformed UTF-16.
  bool Load(const std::string &path);

  // The value of a key, cut to MaxValueLength bytes (at a UTF-8 character boundary);
  // nullopt when the key is missing.
  std::optional<std::string> Value(const std::string &section, const std::string &key) const;
  // The value as an integer (TryParseProfileInteger); nullopt when missing or not one.
  std::optional<int32_t> Integer(const std::string &section, const std::string &key) const;

  // Stores a value; it is quoted when blanks around it or enclosing quotes would
  // otherwise be lost on reading. A key that already reads as value keeps its line
  // untouched. Returns false, storing nothing, for a value with a line break, which a
  // line-based file cannot hold.
  bool SetValue(const std::string &section, const std::string &key, const std::string &value);
  // Stores an integer in decimal; a key that already holds that number, in any of
  // its forms, keeps its line untouched.
  void SetInteger(const std::string &section, const std::string &key, int64_t value);

  // Writes the contents over the existing file at path (following symbolic links),
  // nothing when they are what was read. The new contents go to a temporary file in
  // the same directory, which gets the old file's mode and owner and is renamed over
  // it; where the directory is not writable, or the owner cannot be kept, the file is
  // instead overwritten in place (put back as it was if that fails midway). Returns
  // false when path is not an existing regular file or the contents cannot be
  // written, with the reason in *reason when given; no temporary file stays behind.
  bool Save(const std::string &path, std::string *reason = nullptr) const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl_;
};
