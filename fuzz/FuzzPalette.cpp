// Feeds arbitrary bytes to TDataToColor::LoadFromFile as a palette file, then
// maps values through what loaded.
#include "data/DataToColor.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <unistd.h>

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, size_t size) {
  static const std::string path =
      "/tmp/dendrovia-fuzz-palette-" + std::to_string(getpid()) + ".ncm";
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (!file)
    std::abort();
  Check(std::fwrite(bytes, 1, size, file) == size);
  Check(std::fclose(file) == 0);

  TDataToColor palette;
  // The first 16 bytes, when there are that many, also give the range.
  if (size >= 16) {
    double range[2];
    std::memcpy(range, bytes, sizeof range);
    palette.SetRange(range[0], range[1]);
  }
  palette.LoadFromFile(path);
  std::remove(path.c_str());

  const int count = palette.GetColorCount();
  Check(count >= 1);
  Check(palette.GetRange() > 0.0);
  for (int i = 0; i < count; ++i) {
    for (float component : palette.GetColor(i))
      Check(component >= 0.0f && component <= 1.0f);
    palette.GetColorValue(i);
  }
  const double values[] = {palette.GetMinValue(),
                           palette.GetMaxValue(),
                           (palette.GetMinValue() + palette.GetMaxValue()) / 2.0,
                           -std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  constexpr int valueCount = sizeof values / sizeof values[0];
  float colors[3 * valueCount];
  palette.MapValues(values, colors, valueCount);
  for (float component : colors)
    Check(component >= 0.0f && component <= 1.0f);
  return 0;
}
