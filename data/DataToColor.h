#pragma once

#include <array>
#include <string>
#include <vector>

// One colour of a palette: red, green, blue in 0..1.
using TColor3f = std::array<float, 3>;

// A palette of colours spread evenly over a value range; maps values of the
// simulated variable to colours. Always holds at least one colour.
class TDataToColor {
public:
  TDataToColor();

  // Sets the range the palette spans; ignored when minValue >= maxValue (or
  // either is not a number). An infinite end stands for the largest double of
  // its sign; a width beyond the largest double is kept (GetRange is then inf).
  void SetRange(double minValue, double maxValue);

  // Replaces the colours by the built-in six-colour palette.
  void SetDefault();

  // Replaces the colours by those of a palette file: decimal integers separated
  // by white space, taken three at a time as red, green, blue (0..255). Triples
  // with a component outside 0..255 are skipped; a token that is not a decimal
  // integer ends the reading, the colours read before it stand. A file that
  // cannot be opened or yields no colour gives the default palette. The range
  // is not changed.
  void LoadFromFile(const std::string &name);

  int GetColorCount() const { return static_cast<int>(Colors.size()); }
  // Colour i; i must lie in 0..GetColorCount()-1.
  const TColor3f &GetColor(int i) const { return Colors[static_cast<size_t>(i)]; }
  // The value at which colour i begins; MaxValue for the last colour and
  // MinValue when there is only one colour.
  double GetColorValue(int i) const;

  double GetMinValue() const { return MinValue; }
  double GetMaxValue() const { return MaxValue; }
  double GetRange() const { return Range; }

  // Writes three floats per value to colors: the colour of the bin that each
  // value falls in. Values below the range (and NaN) get the first colour,
  // values at or above MaxValue the last.
  void MapValues(const double *values, float *colors, int count) const;

private:
  double MinValue = 0.0;
  double MaxValue = 100.0;
  double Range = 100.0;
  std::vector<TColor3f> Colors;
};
