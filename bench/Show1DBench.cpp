// Drawing cost of the 1D graphic on the machine's OpenGL (Mesa llvmpipe under
// Xvfb in CI) and the pass rate of its rendering thread without a pause.
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_show1d

#include "bench/BenchViewContext.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/Options.h"
#include "views/CurrentFrame.h"
#include "views/Graph1D.h"
#include "views/Show1D.h"
#include "views/Show1DThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <benchmark/benchmark.h>
#include <qopengl.h>

#include <memory>
#include <mutex>

namespace {

// A shown 800 x 600 1D window whose thread has drawn its first frame.
std::unique_ptr<TShow1DForm> OpenWindow(TBenchViewContext &context, benchmark::State &state) {
  auto form = std::make_unique<TShow1DForm>(context);
  form->resize(800, 600);
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get()))
    state.SkipWithError("the window was not shown");
  QElapsedTimer timer;
  timer.start();
  while (form->RenderThread1D()->GetPassCount() < 1 && timer.elapsed() < 10000)
    QTest::qWait(1);
  if (!context.Data.GetFileName().empty() && form->GetLastDrawnTime() < 0.0)
    state.SkipWithError("no frame was drawn");
  return form;
}

// Laying out the strips and filling in one frame (Build1DGraph), or only the
// filling, as a frame with unchanged items needs (Fill1DGraph); without OpenGL.
void Build1DGraph(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)));
  TGraph1D graph;
  const TCurrentFrame frame = FetchCurrentFrame(context.Data).value();
  const double *values = frame.Values;
  const float *colors = frame.Colors;
  for (auto _ : state) {
    graph.Build(context.Data, values, colors);
    benchmark::DoNotOptimize(graph.Vertices().data());
  }
  state.counters["vertices"] = static_cast<double>(graph.Vertices().size());
}
BENCHMARK(Build1DGraph)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void Fill1DGraph(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)));
  TGraph1D graph;
  const TCurrentFrame frame = FetchCurrentFrame(context.Data).value();
  const double *values = frame.Values;
  const float *colors = frame.Colors;
  graph.Layout(context.Data);
  for (auto _ : state) {
    graph.Fill(values, colors);
    benchmark::DoNotOptimize(graph.Vertices().data());
  }
}
BENCHMARK(Fill1DGraph)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The frame drawing alone: the panel's paint into its framebuffer, finished,
// without the composition into the window.
void Paint1DFrame(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)));
  std::unique_ptr<TShow1DForm> form = OpenWindow(context, state);
  form->RenderThread1D()->Suspend();
  QTest::qWait(50);
  TOpenGLDisplayPanel *panel = form->DisplayPanel();
  TPanelRenderer *renderer = panel->GetRenderer();
  panel->makeCurrent();
  for (auto _ : state) {
    renderer->PaintGL(*panel);
    glFinish();
  }
  panel->doneCurrent();
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  form->StopRenderThread();
}
BENCHMARK(Paint1DFrame)
    ->Arg(0)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One frame as a pass draws it: the drawing into the panel's back buffer and
// the swap to its window.
void Draw1DFrame(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)));
  std::unique_ptr<TShow1DForm> form = OpenWindow(context, state);
  form->RenderThread1D()->Suspend();
  QTest::qWait(50);
  TOpenGLDisplayPanel *panel = form->DisplayPanel();
  for (auto _ : state)
    if (!panel->PaintNow())
      state.SkipWithError("the panel could not draw");
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  form->StopRenderThread();
}
BENCHMARK(Draw1DFrame)
    ->Arg(0)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Frames per second of a shown window with Data.SleepPeriod 0 when every frame
// brings new colours: each iteration recolours the current frame (the palette
// mapping of every segment, as a step does) and waits until the thread has
// woken, drawn and swapped it. Arguments: segments, segments per section
// (10 is the tree that bench/neuron_shape_plot.py compares with).
void RedrawRate1D(benchmark::State &state) {
  TOptions &options = TOptions::Instance();
  const int sleepPeriod = options.Data.SleepPeriod;
  options.Data.SleepPeriod = 0;
  TBenchViewContext context(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::unique_ptr<TShow1DForm> form = OpenWindow(context, state);
  TOpenGLThread1D *thread = form->RenderThread1D();
  for (auto _ : state) {
    const std::uint64_t before = thread->GetDrawCount();
    context.Data.RecolorCurrentFrame();
    while (thread->GetDrawCount() == before)
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  form->StopRenderThread();
  options.Data.SleepPeriod = sleepPeriod;
}
BENCHMARK(RedrawRate1D)
    ->ArgsProduct({{10000, 100000}, {10, 50}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Passes and frames drawn per second of a shown window whose frame stays, with
// the default sleep period: the cost of an idle view (the CPU column is the
// whole process's, so CPU / real time is the share of one core it takes).
void IdleView1D(benchmark::State &state) {
  TBenchViewContext context(10000);
  std::unique_ptr<TShow1DForm> form = OpenWindow(context, state);
  TOpenGLThread1D *thread = form->RenderThread1D();
  QTest::qWait(100);
  const std::uint64_t passes = thread->GetPassCount();
  const std::uint64_t draws = thread->GetDrawCount();
  for (auto _ : state)
    QTest::qWait(100);
  state.counters["passes_per_s"] = benchmark::Counter(
      static_cast<double>(thread->GetPassCount() - passes), benchmark::Counter::kIsRate);
  state.counters["draws_per_s"] = benchmark::Counter(
      static_cast<double>(thread->GetDrawCount() - draws), benchmark::Counter::kIsRate);
  form->StopRenderThread();
}
BENCHMARK(IdleView1D)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

} // namespace
