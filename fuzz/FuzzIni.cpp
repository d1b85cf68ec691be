// Feeds arbitrary bytes to TIniFile as a settings file. What loads must be
// written back byte for byte when nothing changed; values set must read back
// after saving, and every other key must keep its value.
#include "settings/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

std::string ReadAll(const std::string &path) {
  std::string data;
  std::FILE *file = std::fopen(path.c_str(), "rb");
  Check(file != nullptr);
  char buffer[4096];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    data.append(buffer, count);
  std::fclose(file);
  return data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, size_t size) {
  static const std::string path = "/tmp/dendrovia-fuzz-ini-" + std::to_string(getpid()) + ".ini";
  const std::string input(reinterpret_cast<const char *>(bytes), size);
  std::FILE *file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr);
  Check(std::fwrite(input.data(), 1, input.size(), file) == input.size());
  Check(std::fclose(file) == 0);

  TIniFile ini;
  if (!ini.Load(path))
    return 0;
  Check(ini.Save(path));
  Check(ReadAll(path) == input);

  const std::optional<std::string> directory = ini.Value("Data", "Directory");
  const std::optional<std::string> title = ini.Value("FilePanel", "Column1Title");
  ini.Integer("MainForm", "Width");
  Check(ini.SetValue("MainForm", "Width", "1234"));
  Check(ini.SetValue("New Section", "Key", " padded "));
  ini.SetInteger("ControlPanel", "FramesDelay", 250);
  Check(ini.Save(path));

  TIniFile again;
  Check(again.Load(path));
  Check(again.Value("MainForm", "Width") == "1234");
  Check(again.Value("New Section", "Key") == " padded ");
  Check(again.Integer("ControlPanel", "FramesDelay") == 250);
  Check(again.Value("Data", "Directory") == directory);
  Check(again.Value("FilePanel", "Column1Title") == title);
  return 0;
}
