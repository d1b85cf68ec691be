#include "settings/SettingsText.h"

#include "settings/TextEncoding.h"

#include <clocale>
#include <cstdlib>
#include <cwchar>

namespace {

// Through the C library's locale; a byte that it cannot convert stands for the
// Latin-1 character of its value.
QString FromCodePage(const std::string &bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (const char byte : bytes) {
    std::mbstate_t state{};
    wchar_t wide = 0;
    const size_t count = std::mbrtowc(&wide, &byte, 1, &state);
    if (count == 1 && wide != 0)
      text += QString::fromUcs4(reinterpret_cast<const char32_t *>(&wide), 1);
    else
      text += QChar(static_cast<unsigned char>(byte));
  }
  return text;
}

} // namespace

QString SettingsText(const std::string &bytes) {
  if (IsValidUtf8(bytes))
    return QString::fromStdString(bytes);
  // A locale whose characters take one byte each has an 8-bit code page.
  if (MB_CUR_MAX == 1)
    return FromCodePage(bytes);
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string SettingsBytes(const QString &text, const std::string &shownFrom) {
  if (SettingsText(shownFrom) == text)
    return shownFrom;
  return text.toStdString();
}
