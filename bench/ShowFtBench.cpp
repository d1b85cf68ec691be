// Cost of the F(t) graphic with 10 points: one step of the sampling after a
// long history, the frame drawing of curves that long on the machine's OpenGL
// (Mesa llvmpipe under Xvfb in CI), its redraw rate without a pause, and the
// memory a sample takes.
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_showft

#include "bench/BenchViewContext.h"
#include "bench/BenchViewWindow.h"
#include "views/FtSampler.h"
#include "views/ShowFt.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace {

constexpr int PointCount = 10;
const TSampleNeuron::TShape SmallCell{.Sections = 10, .Trunks = 2, .Segments = 20, .Points = 40};

// A small cell with the given number of frames, one per time unit from 0, at
// its frame lastTime; the time scale 0..lastTime; ten points with history
// samples each, evenly spread over 0..lastTime.
class TBenchContext : public TBenchViewContext {
public:
  TBenchContext(std::int64_t frames, double lastTime, std::int64_t history) : LastTime(lastTime) {
    Open(SmallCell, frames, 1.0, lastTime);
    std::string error;
    for (int p = 0; p < PointCount; ++p) {
      TSelectedPointInfo *point = ::AddSelectedPoint(Points, "0,0,0", "p", error);
      point->Color = 0x102030u * static_cast<std::uint32_t>(p);
      point->Samples.reserve(static_cast<size_t>(history) + 1);
      for (std::int64_t i = 0; i < history; ++i) {
        const double time = lastTime * static_cast<double>(i) / static_cast<double>(history - 1);
        point->Samples.push_back({time, -20.0 + 50.0 * std::sin(time / 7.0 + p)});
      }
    }
  }

  std::string GetTimeMaxText() const override { return std::to_string(LastTime); }

  const double LastTime;
};

// One step forward and one back with a history of state.range(0) samples per
// point: the sample appended and dropped again.
void SampleStepFt(benchmark::State &state) {
  const std::int64_t history = state.range(0);
  TBenchContext context(40, 30.0, history);
  const std::vector<double> values(20, 1.5);
  TFtSampler sampler;
  sampler.Update(context.Points, context.Data, 30.0, values.data());
  for (auto _ : state) {
    sampler.Update(context.Points, context.Data, 31.0, values.data());
    sampler.Update(context.Points, context.Data, 30.0, values.data());
  }
  state.counters["samples_per_point"] = static_cast<double>(context.Points[0]->Samples.size());
}
BENCHMARK(SampleStepFt)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// For comparison: looking through the whole history for a sample at the new
// time, once per point, as every forward step would without the time order.
void ScanHistoryFt(benchmark::State &state) {
  TBenchContext context(40, 30.0, state.range(0));
  for (auto _ : state)
    for (const auto &point : context.Points)
      benchmark::DoNotOptimize(std::any_of(point->Samples.begin(), point->Samples.end(),
                                           [](const TPointSample &s) { return s.Time == 31.0; }));
}
BENCHMARK(ScanHistoryFt)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// Playing every frame of a file of state.range(0) frames: the bytes a sample
// takes, capacity included, and the allocations per point.
void SampleMemoryFt(benchmark::State &state) {
  const std::int64_t frames = state.range(0);
  TBenchContext context(frames, 0.0, 0);
  const std::vector<double> values(20, 1.5);
  double bytesPerSample = 0.0;
  double allocations = 0.0;
  for (auto _ : state) {
    for (const auto &point : context.Points)
      std::vector<TPointSample>().swap(point->Samples);
    TFtSampler sampler;
    allocations = 0.0;
    for (std::int64_t t = 0; t < frames; ++t) {
      const size_t capacity = context.Points[0]->Samples.capacity();
      sampler.Update(context.Points, context.Data, static_cast<double>(t), values.data());
      allocations += context.Points[0]->Samples.capacity() != capacity;
    }
    const std::vector<TPointSample> &samples = context.Points[0]->Samples;
    bytesPerSample = static_cast<double>(samples.capacity() * sizeof(TPointSample)) /
                     static_cast<double>(samples.size());
  }
  state.counters["bytes_per_sample"] = bytesPerSample;
  state.counters["allocations_per_point"] = allocations;
}
BENCHMARK(SampleMemoryFt)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

// A shown 800 x 600 F(t) window whose thread has drawn its first frame.
std::unique_ptr<TShowFtForm> OpenWindow(TBenchContext &context, benchmark::State &state) {
  auto form = std::make_unique<TShowFtForm>(context);
  form->SetPoints(context.Points);
  ShowBenchWindow(*form, state);
  if (form->GetLastDrawnTime() != context.LastTime)
    state.SkipWithError("no frame was drawn");
  return form;
}

// The frame drawing alone (axes, sampling, ten curves of state.range(0)
// samples), finished, without the composition into the window.
void PaintFtFrame(benchmark::State &state) {
  TBenchContext context(40, 30.0, state.range(0));
  PaintBenchFrames(state, *OpenWindow(context, state));
}
BENCHMARK(PaintFtFrame)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Frames per second of a shown window with Data.SleepPeriod 0, each frame
// recoloured (CountBenchRedraws): the axes and ten curves of state.range(0)
// samples drawn again (0: the axes alone, the cost of any frame).
void RedrawRateFt(benchmark::State &state) {
  const TScopedNoSleepPeriod noSleep;
  TBenchContext context(40, 30.0, state.range(0));
  CountBenchRedraws(state, *OpenWindow(context, state), context.Data);
}
BENCHMARK(RedrawRateFt)
    ->Arg(0)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
