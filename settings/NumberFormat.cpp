#include "settings/NumberFormat.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

// Parses text whose only decimal separator may be separator.
bool ParseWith(const std::string &text, char separator, double &value) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin]))
    ++begin;
  while (end > begin && IsBlank(text[end - 1]))
    --end;
  bool plus = false;
  if (begin < end && text[begin] == '+') {
    plus = true;
    ++begin;
  }
  std::string number;
  number.reserve(end - begin);
  for (size_t i = begin; i < end; ++i) {
    const char c = text[i];
    if (c == separator)
      number += '.';
    else if (c == '.' || c == ',')
      return false;
    else
      number += c;
  }
  // from_chars would also read "inf" and "nan"; allow only decimal notation.
  for (const char c : number)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E' || c == '+'))
      return false;
  if (number.empty() || (plus && number[0] == '-'))
    return false;
  double result = 0.0;
  const char *first = number.data();
  const char *last = first + number.size();
  const auto [ptr, ec] = std::from_chars(first, last, result, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(result))
    return false;
  value = result;
  return true;
}

char LocaleDecimalSeparator() {
  const std::lconv *conv = std::localeconv();
  if (conv && conv->decimal_point && conv->decimal_point[0] == ',')
    return ',';
  return '.';
}

} // namespace

bool TryParseFloat(const std::string &text, char decimalSeparator, double &value) {
  const char other = decimalSeparator == '.' ? ',' : '.';
  return ParseWith(text, decimalSeparator, value) || ParseWith(text, other, value);
}

bool TryParseFloat(const std::string &text, double &value) {
  return TryParseFloat(text, LocaleDecimalSeparator(), value);
}

bool IsFloatFormat(const std::string &format) {
  const auto digits = [&](size_t &i) {
    size_t count = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
      ++i;
      ++count;
    }
    return count;
  };
  if (format.find('\0') != std::string::npos)
    return false;
  int conversions = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%')
      continue;
    ++i;
    if (i < format.size() && format[i] == '%')
      continue;
    while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string::npos)
      ++i;
    if (digits(i) > 2)
      return false;
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (digits(i) > 2)
        return false;
    }
    if (i < format.size() && format[i] == 'l')
      ++i;
    if (i >= format.size() || std::string_view("fFeEgGaA").find(format[i]) == std::string::npos)
      return false;
    ++conversions;
  }
  return conversions == 1;
}

namespace {

std::string Printed(const char *format, double value) {
  const int length = std::snprintf(nullptr, 0, format, value);
  if (length <= 0)
    return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, value);
  text.resize(static_cast<size_t>(length));
  return text;
}

// Digits beyond a double's 17 significant ones say nothing; a fixed format
// prints up to 309 of them for the largest doubles.
constexpr size_t MostIntegerDigits = 17;

// The digits of the first number in text, leading zeros (padding) aside.
size_t IntegerDigits(const std::string &text) {
  size_t first = text.find_first_of("0123456789");
  if (first == std::string::npos)
    return 0;
  while (first < text.size() && text[first] == '0')
    ++first;
  const size_t end = text.find_first_not_of("0123456789", first);
  return (end == std::string::npos ? text.size() : end) - first;
}

} // namespace

std::string FormatFloat(const std::string &format, double value) {
  if (!IsFloatFormat(format))
    return Printed("%g", value);
  std::string text = Printed(format.c_str(), value);
  if (IntegerDigits(text) > MostIntegerDigits)
    return Printed("%g", value);
  return text;
}
