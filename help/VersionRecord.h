#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Language and code page that select one string table of a version record.
struct TVersionTranslation {
  std::uint16_t Language = 0;
  std::uint16_t CodePage = 0;
};

// Version information in the shape of an executable's version resource: a list of
// translations and string entries addressed by query paths such as
// "\StringFileInfo\040904b0\ProductName".
struct TVersionRecord {
  std::vector<TVersionTranslation> Translations;
  std::vector<std::pair<std::string, std::string>> Strings; // query path, text

  // The text stored under `path`; nothing when there is no such entry.
  std::optional<std::string> Query(std::string_view path) const;
};

// Query path of a string entry in the table of `translation`.
std::string VersionStringPath(const TVersionTranslation &translation, std::string_view entry);

// The record compiled into this program by the build.
const TVersionRecord &CompiledVersionRecord();
