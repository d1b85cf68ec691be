#pragma once

#include <optional>
#include <string>
#include <string_view>

// Whether text is well-formed UTF-8 (no overlong forms, no surrogates, nothing
// above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// UTF-16 bytes (without their byte-order mark) as UTF-8; nullopt for an odd
// length or an unpaired surrogate.
std::optional<std::string> DecodeUtf16(std::string_view bytes, bool bigEndian);

// UTF-8 text as UTF-16 bytes without a byte-order mark. A byte that is not part
// of well-formed UTF-8 stands for the Latin-1 character of its value.
std::string EncodeUtf16(std::string_view text, bool bigEndian);
