// Loads a data file, plays every frame with colour mapping, seeks back to the
// middle (which may make the reader keep its table of frame times) and prints
// the process's peak resident memory in KiB and the number of frames played.

#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"

#include <cstdio>
#include <cstring>

namespace {

long PeakResidentKiB() {
  std::FILE *status = std::fopen("/proc/self/status", "r");
  if (!status)
    return -1;
  char line[256];
  long peak = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::strncmp(line, "VmHWM:", 6) == 0)
      std::sscanf(line + 6, "%ld", &peak);
  std::fclose(status);
  return peak;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fputs("usage: dendrovia_bench_memory FILE.dat\n", stderr);
    return 2;
  }
  TNeuronDataFile data;
  data.Load(argv[1]);
  if (data.GetFileName().empty())
    return 1;
  TDataToColor palette;
  data.SetPalette(&palette);
  long long played = 1;
  while (data.StepForward(0) >= 0.0)
    ++played;
  data.SeekFrame(0.5 * (data.GetFirstFrameTime() + data.GetLastFrameTime()));
  std::printf("%ld %lld\n", PeakResidentKiB(), played);
  return 0;
}
