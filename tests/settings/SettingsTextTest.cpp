#include "settings/SettingsText.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

// Cyrillic "Opisanie" in UTF-8 and in code page 1251.
const std::string Utf8Title = "\xD0\x9E\xD0\xBF\xD0\xB8\xD1\x81\xD0\xB0\xD0\xBD\xD0\xB8\xD0\xB5";
const std::string Cp1251Title = "\xCE\xEF\xE8\xF1\xE0\xED\xE8\xE5";

TEST(SettingsText, Utf8AsItIsOtherTextWithoutReplacementCharacters) {
  // Under a UTF-8 locale there is no 8-bit code page: Latin-1 stands in.
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr)
    GTEST_SKIP() << "locale C.UTF-8 is not installed";
  const struct {
    std::string Bytes;
    QString Shown;
  } cases[] = {
      {"plain", "plain"},
      {Utf8Title, QString::fromUtf8(Utf8Title)},
      {Cp1251Title, QString::fromLatin1(Cp1251Title)},
      {"caf\xE9", QString::fromUtf8("caf\xC3\xA9")},
      {"", ""},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(SettingsText(c.Bytes), c.Shown) << c.Bytes;
    EXPECT_FALSE(SettingsText(c.Bytes).contains(QChar::ReplacementCharacter));
  }
  std::setlocale(LC_CTYPE, "C");
}

TEST(SettingsText, UnchangedTextGoesBackAsItsOwnBytes) {
  const struct {
    std::string ShownFrom;
    QString Text;
    std::string Bytes;
  } cases[] = {
      {Cp1251Title, SettingsText(Cp1251Title), Cp1251Title},
      {Utf8Title, QString::fromUtf8(Utf8Title), Utf8Title},
      {Cp1251Title, "Description", "Description"},
      {"old", QString::fromUtf8(Utf8Title), Utf8Title},
  };
  for (const auto &c : cases)
    EXPECT_EQ(SettingsBytes(c.Text, c.ShownFrom), c.Bytes) << c.ShownFrom;
}

} // namespace
