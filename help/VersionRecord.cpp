#include "help/VersionRecord.h"

#include "help/VersionInfo.h"

#include <cstdio>

std::optional<std::string> TVersionRecord::Query(std::string_view path) const {
  for (const auto &[key, text] : Strings) {
    if (key == path)
      return text;
  }
  return std::nullopt;
}

std::string VersionStringPath(const TVersionTranslation &translation, std::string_view entry) {
  char table[32];
  std::snprintf(table, sizeof table, "\\StringFileInfo\\%04x%04x\\", translation.Language,
                translation.CodePage);
  return table + std::string(entry);
}

const TVersionRecord &CompiledVersionRecord() {
  static const TVersionRecord record = [] {
    const TVersionTranslation translation{VersionLanguage, VersionCodePage};
    TVersionRecord r;
    r.Translations.push_back(translation);
    for (const auto &[entry, text] : VersionStrings)
      r.Strings.emplace_back(VersionStringPath(translation, entry), text);
    return r;
  }();
  return record;
}
