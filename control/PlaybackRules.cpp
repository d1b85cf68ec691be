#include "control/PlaybackRules.h"

#include <climits>
#include <cmath>
#include <cstddef>

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

} // namespace

std::optional<int32_t> ParseInteger(const std::string &text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size())
    return std::nullopt;
  // Hexadecimal may fill all 32 bits; decimal stops at the signed limit.
  const uint64_t limit = base == 16 ? UINT32_MAX : (negative ? uint64_t{INT32_MAX} + 1 : INT32_MAX);
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i]);
    if (digit < 0 || digit >= base)
      return std::nullopt;
    magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (magnitude > limit)
      return std::nullopt;
  }
  const uint32_t bits = static_cast<uint32_t>(magnitude);
  return static_cast<int32_t>(negative ? 0u - bits : bits);
}

std::string InvalidIntegerMessage(const std::string &text) {
  return "'" + text + "' is not a valid integer value";
}

uint32_t ClampUnsigned(int32_t value, uint32_t lowest, uint32_t highest) {
  uint32_t result = static_cast<uint32_t>(value);
  if (result < lowest)
    result = lowest;
  if (result > highest)
    result = highest;
  return result;
}

int TimerInterval(uint32_t framesDelay) {
  if (framesDelay == 0)
    return 1;
  return framesDelay > INT_MAX ? INT_MAX : static_cast<int>(framesDelay);
}

bool IsViewReady(double lastDrawnTime, double shownTime, double frameTime, double tolerance) {
  return std::fabs(shownTime - lastDrawnTime) < tolerance ||
         std::fabs(frameTime - lastDrawnTime) < tolerance;
}
