#include "control/ScaleInput.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Not-a-number and infinities would slip through every comparison below, so
// they count as text that is no number.
bool ParseFinite(const TNumberText &numbers, const std::string &text, double &value) {
  double parsed = 0.0;
  if (!numbers.Parse(text, parsed) || !std::isfinite(parsed))
    return false;
  value = parsed;
  return true;
}

// Writes the number as the box will show it and reads it back, so that the
// field holds exactly what the user sees. A format whose output does not read
// back leaves the number as it was.
TScaleInput Shown(const TNumberText &numbers, double value) {
  TScaleInput result;
  result.Text = numbers.Format(value);
  result.Value = value;
  ParseFinite(numbers, result.Text, result.Value);
  return result;
}

TScaleInput Decide(TScaleInput shown, bool rejected, double field) {
  if (rejected)
    shown.Status = TScaleInputStatus::InvalidValue;
  else if (shown.Value != field)
    shown.Status = TScaleInputStatus::Changed;
  else
    shown.Status = TScaleInputStatus::Unchanged;
  return shown;
}

// A variable scale the palette and the views can work with: not empty and with
// finite ends; its width may exceed the largest double.
bool IsUsableScale(double min, double max) {
  return min < max && std::isfinite(min) && std::isfinite(max);
}

// An infinite end of the data stands for the largest double of its sign.
double Finite(double value) {
  return std::clamp(value, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
}

TScaleInput NotANumber(const std::string &text) {
  TScaleInput result;
  result.Text = text;
  return result;
}

} // namespace

double SnapTime(double time) {
  // nearbyint rounds halves to even in the default rounding mode.
  return std::nearbyint(time / 0.00001) * 0.00001;
}

TScaleRange InitialVariableScale(double dataMin, double dataMax, const TNumberText &numbers) {
  const TScaleRange shown{Shown(numbers, Finite(dataMin)).Value,
                          Shown(numbers, Finite(dataMax)).Value};
  if (IsUsableScale(shown.Min, shown.Max))
    return shown;
  for (int exponent = -300; exponent <= 308; ++exponent) {
    const double step = std::pow(10.0, exponent);
    const TScaleRange widened{Shown(numbers, Finite(Finite(dataMin) - step)).Value,
                              Shown(numbers, Finite(Finite(dataMin) + step)).Value};
    if (IsUsableScale(widened.Min, widened.Max))
      return widened;
  }
  return shown;
}

TScaleInput CheckVariableMin(const std::string &text, const TNumberText &numbers, double scaleMin,
                             double scaleMax) {
  double value = 0.0;
  if (!ParseFinite(numbers, text, value))
    return NotANumber(text);
  const TScaleInput shown = Shown(numbers, value);
  return Decide(shown, !IsUsableScale(shown.Value, scaleMax), scaleMin);
}

TScaleInput CheckVariableMax(const std::string &text, const TNumberText &numbers, double scaleMin,
                             double scaleMax) {
  double value = 0.0;
  if (!ParseFinite(numbers, text, value))
    return NotANumber(text);
  const TScaleInput shown = Shown(numbers, value);
  return Decide(shown, !IsUsableScale(scaleMin, shown.Value), scaleMax);
}

TScaleInput CheckTimeMin(const std::string &text, const TNumberText &numbers, double firstFrameTime,
                         double timeScaleMin, double timeScaleMax) {
  double value = 0.0;
  if (!ParseFinite(numbers, text, value))
    return NotANumber(text);
  if (value < firstFrameTime)
    value = firstFrameTime;
  const TScaleInput shown = Shown(numbers, value);
  return Decide(shown, shown.Value > timeScaleMax, timeScaleMin);
}

TScaleInput CheckTimeMax(const std::string &text, const TNumberText &numbers, double lastFrameTime,
                         double timeScaleMin, double timeScaleMax) {
  double value = 0.0;
  if (!ParseFinite(numbers, text, value))
    return NotANumber(text);
  if (value > lastFrameTime)
    value = lastFrameTime;
  const TScaleInput shown = Shown(numbers, value);
  return Decide(shown, shown.Value < timeScaleMin, timeScaleMax);
}

TScaleInput CheckCurrentTime(const std::string &text, const TNumberText &numbers,
                             double timeScaleMin, double timeScaleMax, double currentTime) {
  double value = 0.0;
  if (!ParseFinite(numbers, text, value))
    return NotANumber(text);
  if (value < timeScaleMin)
    value = timeScaleMin;
  if (value > timeScaleMax)
    value = timeScaleMax;
  const TScaleInput shown = Shown(numbers, value);
  return Decide(shown, shown.Value < timeScaleMin || shown.Value > timeScaleMax, currentTime);
}
