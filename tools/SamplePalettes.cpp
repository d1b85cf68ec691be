#include "tools/SamplePalettes.h"

#include "data/CStream.h"

#include <cmath>
#include <cstdio>

namespace {

// A colour at a position in 0..1; maps interpolate linearly between them.
struct TKey {
  double At;
  double Red, Green, Blue;
};

struct TMap {
  const char *Name;
  std::vector<TKey> Keys;
};

const std::vector<TMap> &Maps() {
  static const std::vector<TMap> maps = {
      {"coolwarm",
       {{0.0, 59, 76, 192},
        {0.125, 98, 130, 234},
        {0.25, 141, 176, 254},
        {0.375, 184, 208, 249},
        {0.5, 221, 221, 221},
        {0.625, 245, 196, 173},
        {0.75, 244, 154, 123},
        {0.875, 222, 96, 77},
        {1.0, 180, 4, 38}}},
      {"viridis",
       {{0.0, 68, 1, 84},
        {0.125, 71, 44, 122},
        {0.25, 59, 82, 139},
        {0.375, 44, 114, 142},
        {0.5, 33, 145, 140},
        {0.625, 39, 173, 129},
        {0.75, 94, 201, 98},
        {0.875, 170, 220, 50},
        {1.0, 253, 231, 37}}},
      {"hot", {{0.0, 10, 0, 0}, {0.365, 255, 0, 0}, {0.746, 255, 255, 0}, {1.0, 255, 255, 255}}},
  };
  return maps;
}

} // namespace

std::vector<std::string> SamplePaletteNames() {
  std::vector<std::string> names;
  for (const TMap &map : Maps())
    names.push_back(map.Name);
  return names;
}

bool WriteSamplePalette(const std::string &name, int count, const std::string &fileName,
                        std::string &error) {
  const TMap *map = nullptr;
  for (const TMap &candidate : Maps())
    if (name == candidate.Name)
      map = &candidate;
  if (!map) {
    error = "unknown palette " + name;
    return false;
  }
  if (count < 2 || count > 4096) {
    error = "a palette needs 2 to 4096 colours";
    return false;
  }
  TFilePtr file(std::fopen(fileName.c_str(), "w"));
  if (!file) {
    error = "cannot create " + fileName;
    return false;
  }
  const std::vector<TKey> &keys = map->Keys;
  bool ok = true;
  for (int i = 0; i < count && ok; ++i) {
    const double at = static_cast<double>(i) / (count - 1);
    size_t k = 1;
    while (k + 1 < keys.size() && keys[k].At < at)
      ++k;
    const TKey &a = keys[k - 1];
    const TKey &b = keys[k];
    const double f = (at - a.At) / (b.At - a.At);
    const auto mix = [f](double low, double high) {
      return static_cast<int>(std::lround(low + f * (high - low)));
    };
    ok = std::fprintf(file.get(), "%d %d %d\n", mix(a.Red, b.Red), mix(a.Green, b.Green),
                      mix(a.Blue, b.Blue)) > 0;
  }
  if (!ok || std::fclose(file.release()) != 0) {
    error = "cannot write " + fileName;
    return false;
  }
  return true;
}
