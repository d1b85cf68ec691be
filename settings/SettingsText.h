#pragma once

#include <QString>

#include <string>

// Text of the settings file (captions, titles, formats) as the windows show it:
// as UTF-8 when it is well-formed UTF-8, else through the locale's 8-bit code
// page, or as Latin-1 where the locale has none, never as replacement characters
// (a legacy INI, for example Cyrillic titles in code page 1251).
QString SettingsText(const std::string &bytes);

// Text from a window back to the settings: the bytes it was shown from when it is
// still what they show, so that a value the user did not change is written back
// byte for byte whatever its encoding; anything else as UTF-8.
std::string SettingsBytes(const QString &text, const std::string &shownFrom);
