#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Converts the text of an integer box: optional leading blanks, an optional
// sign, then decimal digits, or hexadecimal digits after "$" or "0x". Decimal
// numbers must fit a signed 32-bit integer; hexadecimal ones may use all 32
// bits (read as their two's complement). Anything else gives no value.
std::optional<int32_t> ParseInteger(const std::string &text);

// The message shown for text that is not an integer.
std::string InvalidIntegerMessage(const std::string &text);

// Takes a converted integer as an unsigned 32-bit number (a negative entry is
// thus very large) and limits it to lowest..highest.
uint32_t ClampUnsigned(int32_t value, uint32_t lowest, uint32_t highest);

// The playback timer's interval for a frames delay in ms: at least 1 ms.
int TimerInterval(uint32_t framesDelay);

// Whether a view has drawn the current frame. shownTime is the current time as
// the Control Window shows it; frameTime the data's own time of that frame. A
// time format with too few decimals shows a time that no frame has, so the
// frame's own time also counts: playback then still advances at the views' pace.
bool IsViewReady(double lastDrawnTime, double shownTime, double frameTime, double tolerance);
