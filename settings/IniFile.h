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
// blanks around them and without one pair of enclosing double quotes. Writing a key
// replaces it in place or appends it to its section; other keys and comments stay.
class TIniFile {
public:
  static constexpr size_t MaxValueLength = 2047;

  TIniFile();
  ~TIniFile();
  TIniFile(const TIniFile &) = delete;
  TIniFile &operator=(const TIniFile &) = delete;

  // Reads and parses the file. Returns false, leaving the object empty, when the file
  // cannot be read.
  bool Load(const std::string &path);

  // The value of a key, cut to MaxValueLength bytes (at a UTF-8 character boundary);
  // nullopt when the key is missing.
  std::optional<std::string> Value(const std::string &section, const std::string &key) const;
  // The value as an integer (TryParseProfileInteger); nullopt when missing or not one.
  std::optional<int32_t> Integer(const std::string &section, const std::string &key) const;

  // Stores a value; it is quoted when blanks around it or enclosing quotes would
  // otherwise be lost on reading. Returns false, storing nothing, for a value with a
  // line break, which a line-based file cannot hold.
  bool SetValue(const std::string &section, const std::string &key, const std::string &value);
  void SetInteger(const std::string &section, const std::string &key, int64_t value);

  // Replaces the existing file at path (following symbolic links) with the contents:
  // they go to a temporary file in the same directory, which gets the old file's mode
  // and owner and is renamed over it. Returns false, leaving the old file untouched
  // and no temporary file behind, when path is not an existing regular file or any
  // step fails.
  bool Save(const std::string &path) const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl_;
};
