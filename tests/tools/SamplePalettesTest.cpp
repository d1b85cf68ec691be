#include "tools/SamplePalettes.h"

#include "data/DataToColor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(SamplePalettesTest, EveryMapLoadsAsAPaletteOfItsSize) {
  const fs::path dir =
      fs::temp_directory_path() / ("dendrovia-palettes-" + std::to_string(getpid()));
  fs::create_directories(dir);
  ASSERT_EQ(SamplePaletteNames().size(), 3u);
  for (const std::string &name : SamplePaletteNames()) {
    const std::string path = (dir / (name + ".ncm")).string();
    std::string error;
    ASSERT_TRUE(WriteSamplePalette(name, 17, path, error)) << error;
    TDataToColor palette;
    palette.LoadFromFile(path);
    EXPECT_EQ(palette.GetColorCount(), 17) << name;

    std::ifstream in(path);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
      ++lines;
      EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 2) << line;
    }
    EXPECT_EQ(lines, 17);
  }
  TDataToColor hot;
  std::string error;
  ASSERT_TRUE(WriteSamplePalette("hot", 2, (dir / "hot.ncm").string(), error));
  hot.LoadFromFile((dir / "hot.ncm").string());
  EXPECT_EQ(hot.GetColor(0), (TColor3f{10.0f / 255.0f, 0.0f, 0.0f}));
  EXPECT_EQ(hot.GetColor(1), (TColor3f{1.0f, 1.0f, 1.0f}));

  EXPECT_FALSE(WriteSamplePalette("rainbow", 16, (dir / "x.ncm").string(), error));
  EXPECT_FALSE(WriteSamplePalette("hot", 1, (dir / "x.ncm").string(), error));
  EXPECT_FALSE(WriteSamplePalette("hot", 16, (dir / "no" / "x.ncm").string(), error));
  EXPECT_FALSE(fs::exists(dir / "x.ncm"));
  fs::remove_all(dir);
}
