// Load, frame stepping, seeking and memory of simulation data files.

#include "bench/BenchInputs.h"
#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

using TShape = TSampleNeuron::TShape;

// 1,000,000 points in 100,000 segments over 2,000 sections.
const TShape LargeModel{.Sections = 2000, .Trunks = 8, .Segments = 100000, .Points = 1000000};

void Load(benchmark::State &state) {
  const std::string path = TBenchInputs::Get(LargeModel, 4, 0.025);
  for (auto _ : state) {
    TNeuronDataFile data;
    data.Load(path);
    if (data.GetFileName().empty())
      state.SkipWithError("the sample did not load");
    benchmark::DoNotOptimize(data.GetSections().data());
  }
  state.counters["segments"] = LargeModel.Segments;
  state.counters["points"] = LargeModel.Points;
}
BENCHMARK(Load)->Unit(benchmark::kMillisecond);

// StepForward(0) with every frame mapped to colours; back to the first frame
// (untimed) when the last is reached.
void StepForward(benchmark::State &state) {
  const TShape shape{.Sections = 2000, .Trunks = 8, .Segments = 100000, .Points = 200000};
  const std::string path = TBenchInputs::Get(shape, 256, 0.025);
  TNeuronDataFile data;
  data.Load(path);
  TDataToColor palette;
  palette.SetRange(-80.0, 40.0);
  data.SetPalette(&palette);
  std::int64_t frames = 0;
  for (auto _ : state) {
    if (data.StepForward(0) < 0.0) {
      state.PauseTiming();
      data.SeekFrame(data.GetFirstFrameTime());
      state.ResumeTiming();
      continue;
    }
    ++frames;
  }
  state.SetItemsProcessed(frames);
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(StepForward)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// The colour mapping alone, on one frame's worth of values.
void MapValues(benchmark::State &state) {
  const int count = 100000;
  std::vector<double> values(count);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> potential(-90.0, 50.0);
  for (double &v : values)
    v = potential(random);
  std::vector<float> colors(3 * static_cast<size_t>(count));
  TDataToColor palette;
  palette.SetRange(-80.0, 40.0);
  for (auto _ : state) {
    palette.MapValues(values.data(), colors.data(), count);
    benchmark::DoNotOptimize(colors.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(MapValues)->Unit(benchmark::kMicrosecond);

// SeekFrame to random times of a 1,000,000-frame file. The first search
// (which may build the reader's table of frame times) is reported apart.
void SeekFrame(benchmark::State &state) {
  const TShape shape{.Sections = 3, .Trunks = 1, .Segments = 10, .Points = 30};
  const std::int64_t frameCount = 1000000;
  const std::string path = TBenchInputs::Get(shape, frameCount, 0.025);
  TNeuronDataFile data;
  data.Load(path);
  if (data.GetFrameCount() != frameCount) {
    state.SkipWithError("the sample did not load");
    return;
  }
  TDataToColor palette;
  data.SetPalette(&palette);
  std::mt19937 random(42);
  std::uniform_real_distribution<double> time(data.GetFirstFrameTime(), data.GetLastFrameTime());
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t startCpu = std::clock();
  data.SeekFrame(time(random));
  const double firstCpu = 1000.0 * static_cast<double>(std::clock() - startCpu) / CLOCKS_PER_SEC;
  const std::chrono::duration<double, std::milli> first = std::chrono::steady_clock::now() - start;
  for (auto _ : state)
    benchmark::DoNotOptimize(data.SeekFrame(time(random)));
  state.counters["first_seek_ms"] = first.count();
  state.counters["first_seek_cpu_ms"] = firstCpu;
}
BENCHMARK(SeekFrame)->Unit(benchmark::kMicrosecond);

// Peak resident memory of a fresh process that loads a file, plays every
// frame and seeks once, for a short and a long run of the same model.
void PeakMemory(benchmark::State &state) {
  const TShape shape{.Sections = 200, .Trunks = 8, .Segments = 500, .Points = 5000};
  const std::string path = TBenchInputs::Get(shape, state.range(0), 0.025);
  long peakKiB = -1;
  std::int64_t played = 0;
  for (auto _ : state) {
    const std::string command = "'" DENDROVIA_MEMORY_PROBE "' '" + path + "'";
    std::FILE *probe = popen(command.c_str(), "r");
    if (!probe || std::fscanf(probe, "%ld %ld", &peakKiB, &played) != 2) {
      state.SkipWithError("the memory probe failed");
      if (probe)
        pclose(probe);
      return;
    }
    pclose(probe);
  }
  state.counters["peak_KiB"] = static_cast<double>(peakKiB);
  state.counters["frames_played"] = static_cast<double>(played);
}
BENCHMARK(PeakMemory)->Arg(100)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
