#include "data/DataToColor.h"

#include "data/CStream.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>

static_assert(sizeof(TColor3f) == 3 * sizeof(float), "colour buffers hold three floats per value");

namespace {

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

// 1, or for a range that overflows when multiplied by bins, a power of two
// that brings every difference of two doubles, times bins, below the largest
// double: a range from the lowest to the largest double still spreads the
// colours. Scaling by a power of two is exact above the subnormals.
double OverflowScale(double range, int bins) {
  if (bins <= 0 || range * bins < HUGE_VAL)
    return 1.0;
  return std::ldexp(1.0, -(std::ilogb(bins) + 2));
}

} // namespace

TDataToColor::TDataToColor() {
  SetDefault();
}

void TDataToColor::SetRange(double minValue, double maxValue) {
  if (!(minValue < maxValue))
    return;
  MinValue = std::max(minValue, -std::numeric_limits<double>::max());
  MaxValue = std::min(maxValue, std::numeric_limits<double>::max());
  Range = MaxValue - MinValue;
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
  const double scale = OverflowScale(Range, last);
  const double scaledMin = MinValue * scale;
  return (scaledMin + i * (MaxValue * scale - scaledMin) / last) / scale;
}

void TDataToColor::MapValues(const double *values, float *colors, int count) const {
  const double bins = GetColorCount() - 1;
  const TColor3f *palette = Colors.data();
  const double scale = OverflowScale(Range, GetColorCount() - 1);
  const double scaledMin = MinValue * scale;
  const double scaledRange = MaxValue * scale - scaledMin;
  // Bins first, a block at a time: a loop of fixed length over plain arrays is
  // one the compiler turns into vector code, which halves the time per frame.
  constexpr int Block = 256;
  int bin[Block];
  double tail[Block];
  for (int start = 0; start < count; start += Block) {
    const int n = std::min(Block, count - start);
    const double *block = values + start;
    if (n < Block) {
      std::fill(std::copy(block, block + n, tail), tail + Block, 0.0);
      block = tail;
    }
    // Clamped before the conversion, which keeps NaN (to the first colour)
    // and huge values defined.
    for (int i = 0; i < Block; ++i)
      bin[i] = static_cast<int>(
          std::min(std::max(0.0, (block[i] * scale - scaledMin) * bins / scaledRange), bins));
    float *out = colors + 3 * static_cast<std::ptrdiff_t>(start);
    for (int i = 0; i < n; ++i)
      std::memcpy(out + 3 * i, palette[bin[i]].data(), sizeof(TColor3f));
  }
}
