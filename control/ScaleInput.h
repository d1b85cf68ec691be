#pragma once

#include <functional>
#include <string>

// How the Control Window turns numbers into text and text into numbers: the
// formatting of the settings' display format and TryParseFloat.
struct TNumberText {
  std::function<std::string(double)> Format;
  std::function<bool(const std::string &, double &)> Parse;
};

enum class TScaleInputStatus {
  InvalidFormat, // the text is not a finite number; nothing changes
  InvalidValue,  // the number would leave an empty or unbounded scale; only the box text changes
  Unchanged,     // the number as shown equals the field's value
  Changed,       // the field is to take Value
};

// What a scale box's check decided. Text is what the box shows afterwards (the
// typed text when it did not parse); Value is the number as shown.
struct TScaleInput {
  TScaleInputStatus Status = TScaleInputStatus::InvalidFormat;
  std::string Text;
  double Value = 0.0;
};

// Rounds a time to 5 decimals, halves to even, so that frame times compare
// exactly with times read back from text.
double SnapTime(double time);

// The variable scale a Control Window starts with: the data range as the boxes
// show it. A range that shows no width (every value equal) is widened
// symmetrically by the smallest power of ten that the format shows, so that
// every view gets a range it can draw; without such a width it stays as shown.
// An infinite end is taken as the largest double of its sign, as the palette
// takes it.
struct TScaleRange {
  double Min = 0.0;
  double Max = 0.0;
};
TScaleRange InitialVariableScale(double dataMin, double dataMax, const TNumberText &numbers);

// The lower end of the variable scale typed into its box: rounded to the shown
// precision; rejected unless below scaleMax (a width beyond the largest double
// is allowed: the palette and the views handle it).
TScaleInput CheckVariableMin(const std::string &text, const TNumberText &numbers, double scaleMin,
                             double scaleMax);

// The upper end: rejected unless above scaleMin and the width is finite.
TScaleInput CheckVariableMax(const std::string &text, const TNumberText &numbers, double scaleMin,
                             double scaleMax);

// The start of the time scale: raised to firstFrameTime, rounded to the shown
// precision, rejected when above timeScaleMax. Changed means the caller snaps
// Value to the nearest frame.
TScaleInput CheckTimeMin(const std::string &text, const TNumberText &numbers, double firstFrameTime,
                         double timeScaleMin, double timeScaleMax);

// The end of the time scale: lowered to lastFrameTime, rejected when below
// timeScaleMin.
TScaleInput CheckTimeMax(const std::string &text, const TNumberText &numbers, double lastFrameTime,
                         double timeScaleMin, double timeScaleMax);

// The current time: clamped to the time scale, rounded to the shown precision,
// rejected when the rounding took it outside the scale.
TScaleInput CheckCurrentTime(const std::string &text, const TNumberText &numbers,
                             double timeScaleMin, double timeScaleMax, double currentTime);
