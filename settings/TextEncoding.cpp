#include "settings/TextEncoding.h"

#include <cstdint>

namespace {

// The code point of the well-formed UTF-8 sequence at text[i] and its length;
// length 0 when there is none.
char32_t NextUtf8(std::string_view text, size_t i, size_t &length) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char lead = byte(0);
  length = 0;
  if (lead < 0x80) {
    length = 1;
    return lead;
  }
  size_t count = 0;
  char32_t code = 0;
  char32_t lowest = 0;
  if ((lead & 0xE0) == 0xC0) {
    count = 2;
    code = lead & 0x1F;
    lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    count = 3;
    code = lead & 0x0F;
    lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    count = 4;
    code = lead & 0x07;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (i + count > text.size())
    return 0;
  for (size_t k = 1; k < count; ++k) {
    if ((byte(k) & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (byte(k) & 0x3F);
  }
  if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return 0;
  length = count;
  return code;
}

void AppendUtf8(std::string &out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void AppendUnit(std::string &out, char16_t unit, bool bigEndian) {
  const char high = static_cast<char>(unit >> 8);
  const char low = static_cast<char>(unit & 0xFF);
  out += bigEndian ? high : low;
  out += bigEndian ? low : high;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t length = 0;
    NextUtf8(text, i, length);
    if (length == 0)
      return false;
    i += length;
  }
  return true;
}

std::optional<std::string> DecodeUtf16(std::string_view bytes, bool bigEndian) {
  if (bytes.size() % 2 != 0)
    return std::nullopt;
  const auto unit = [&](size_t i) -> char16_t {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  };
  std::string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const char16_t first = unit(i);
    if (first >= 0xDC00 && first <= 0xDFFF)
      return std::nullopt;
    if (first < 0xD800 || first > 0xDBFF) {
      AppendUtf8(text, first);
      continue;
    }
    if (i + 2 >= bytes.size())
      return std::nullopt;
    const char16_t second = unit(i + 2);
    if (second < 0xDC00 || second > 0xDFFF)
      return std::nullopt;
    AppendUtf8(text, 0x10000 + ((char32_t{first} - 0xD800) << 10) + (second - 0xDC00));
    i += 2;
  }
  return text;
}

std::string EncodeUtf16(std::string_view text, bool bigEndian) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size();) {
    size_t length = 0;
    char32_t code = NextUtf8(text, i, length);
    if (length == 0) {
      code = static_cast<unsigned char>(text[i]);
      length = 1;
    }
    i += length;
    if (code < 0x10000) {
      AppendUnit(bytes, static_cast<char16_t>(code), bigEndian);
    } else {
      code -= 0x10000;
      AppendUnit(bytes, static_cast<char16_t>(0xD800 + (code >> 10)), bigEndian);
      AppendUnit(bytes, static_cast<char16_t>(0xDC00 + (code & 0x3FF)), bigEndian);
    }
  }
  return bytes;
}
