#pragma once

#include <string>

// Text to a double with the locale's decimal separator, or failing that with the
// other of "." and ",". Blanks around the number are allowed; anything else after it,
// an empty text, infinities, NaN and out-of-range values fail. On failure value is
// left unchanged and false is returned.
bool TryParseFloat(const std::string &text, double &value);

// The same with an explicit decimal separator tried first.
bool TryParseFloat(const std::string &text, char decimalSeparator, double &value);

// True when format is a printf format that formats exactly one double and nothing
// else: one conversion of f, F, e, E, g, G, a or A with optional flags "-+ #0", a
// width and a precision of at most two digits each and an optional "l"; "%%" is
// allowed anywhere. Everything else ("*", "%n", "%s", "%d", "L", positional
// arguments, a second conversion) is rejected.
bool IsFloatFormat(const std::string &format);

// Formats value with format. A format that IsFloatFormat rejects is not used: the
// value is then formatted with "%g", as is a value whose integer part would
// print more than 17 digits (1e308 in "%0.3f").
std::string FormatFloat(const std::string &format, double value);
