#include "data/DataToColor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

struct TFileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

bool IsBlank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Any magnitude above this is out of range for a component; saturating keeps
// long digit runs from overflowing.
constexpr long SaturatedComponent = 100000;

// Reads the next white-space separated token as a decimal integer (optional
// sign, then digits). Returns false at the end of the file or when the token is
// not a decimal integer; either way the reading ends, so it always progresses.
bool ReadInteger(std::FILE *file, long &value) {
  int c = std::fgetc(file);
  while (c != EOF && IsBlank(c))
    c = std::fgetc(file);
  if (c == EOF)
    return false;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::fgetc(file);
  }
  bool digits = false;
  long magnitude = 0;
  while (c != EOF && !IsBlank(c)) {
    if (c < '0' || c > '9')
      return false;
    digits = true;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > SaturatedComponent)
      magnitude = SaturatedComponent;
    c = std::fgetc(file);
  }
  value = negative ? -magnitude : magnitude;
  return digits;
}

bool IsComponent(long value) {
  return value >= 0 && value <= 255;
}

const TColor3f DefaultPalette[] = {
    {0.0f, 0.0f, 0.0f},
    {150.0f / 255.0f, 0.0f, 150.0f / 255.0f},
    {0.0f, 0.0f, 1.0f},
    {0.0f, 230.0f / 255.0f, 0.0f},
    {214.0f / 255.0f, 167.0f / 255.0f, 57.0f / 255.0f},
    {1.0f, 0.0f, 0.0f},
};

} // namespace

TDataToColor::TDataToColor() {
  SetDefault();
}

void TDataToColor::SetRange(double minValue, double maxValue) {
  if (!(minValue < maxValue))
    return;
  const double range = maxValue - minValue;
  // A range that overflows would turn every mapping into NaN.
  if (!(range < HUGE_VAL))
    return;
  MinValue = minValue;
  MaxValue = maxValue;
  Range = range;
}

void TDataToColor::SetDefault() {
  Colors.assign(std::begin(DefaultPalette), std::end(DefaultPalette));
}

void TDataToColor::LoadFromFile(const std::string &name) {
  Colors.clear();
  if (TFilePtr file{std::fopen(name.c_str(), "r")}) {
    long red = 0, green = 0, blue = 0;
    while (ReadInteger(file.get(), red) && ReadInteger(file.get(), green) &&
           ReadInteger(file.get(), blue)) {
      if (IsComponent(red) && IsComponent(green) && IsComponent(blue))
        Colors.push_back({static_cast<float>(red) / 255.0f, static_cast<float>(green) / 255.0f,
                          static_cast<float>(blue) / 255.0f});
    }
  }
  if (Colors.empty())
    SetDefault();
}

double TDataToColor::GetColorValue(int i) const {
  const int last = GetColorCount() - 1;
  if (last <= 0)
    return MinValue;
  if (i == last)
    return MaxValue;
  return MinValue + i * Range / last;
}

void TDataToColor::MapValues(const double *values, float *colors, int count) const {
  const int last = GetColorCount() - 1;
  const double bins = last;
  const TColor3f *palette = Colors.data();
  for (int i = 0; i < count; ++i) {
    // Clamped before the conversion, which keeps NaN (to the first colour)
    // and huge values defined; written so that it compiles without branches.
    const double k = std::min(std::max(0.0, (values[i] - MinValue) * bins / Range), bins);
    const int index = static_cast<int>(k);
    const TColor3f &color = palette[index];
    colors[3 * i] = color[0];
    colors[3 * i + 1] = color[1];
    colors[3 * i + 2] = color[2];
  }
}
