// Drawing cost of the 1D graphic on the machine's OpenGL (Mesa llvmpipe under
// Xvfb in CI) and the pass rate of its rendering thread without a pause.
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_show1d

#include "bench/BenchViewContext.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/Options.h"
#include "views/Graph1D.h"
#include "views/Show1D.h"
#include "views/Show1DThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <benchmark/benchmark.h>

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

// Building the strips of one frame, without OpenGL.
void Build1DGraph(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)));
  TGraph1D graph;
  const double *values = nullptr;
  const float *colors = nullptr;
  {
    std::lock_guard lock(context.Data.GetFrameLock());
    values = context.Data.GetCurrentFrame() + 1;
    colors = context.Data.GetCurrentColors();
  }
  for (auto _ : state) {
    graph.Build(context.Data, values, colors);
    benchmark::DoNotOptimize(graph.Vertices().data());
  }
  state.counters["vertices"] = static_cast<double>(graph.Vertices().size());
}
BENCHMARK(Build1DGraph)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

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

// One frame as a pass draws it: the repaint of the panel and its composition
// into the window. The toolkit may hold a repaint back until the window is
// ready for the next frame; the time then includes the wait for it.
void Draw1DFrame(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)));
  std::unique_ptr<TShow1DForm> form = OpenWindow(context, state);
  TOpenGLThread1D *thread = form->RenderThread1D();
  thread->Suspend();
  QTest::qWait(50);
  TOpenGLDisplayPanel *panel = form->DisplayPanel();
  for (auto _ : state) {
    const std::uint64_t before = thread->GetFrameCount();
    panel->repaint();
    while (thread->GetFrameCount() == before)
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
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

// Passes per second of a shown window with Data.SleepPeriod 0: each pass is
// the projection check, the frame drawing on the GUI thread and the hand-over.
void PassRate1D(benchmark::State &state) {
  TOptions &options = TOptions::Instance();
  const int sleepPeriod = options.Data.SleepPeriod;
  options.Data.SleepPeriod = 0;
  TBenchViewContext context(static_cast<int>(state.range(0)));
  std::unique_ptr<TShow1DForm> form = OpenWindow(context, state);
  TOpenGLThread1D *thread = form->RenderThread1D();
  std::uint64_t passes = 0;
  const std::uint64_t frames = thread->GetFrameCount();
  for (auto _ : state) {
    const std::uint64_t before = thread->GetPassCount();
    while (thread->GetPassCount() == before)
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    passes += thread->GetPassCount() - before;
  }
  state.counters["passes_per_s"] =
      benchmark::Counter(static_cast<double>(passes), benchmark::Counter::kIsRate);
  state.counters["frames_per_s"] = benchmark::Counter(
      static_cast<double>(thread->GetFrameCount() - frames), benchmark::Counter::kIsRate);
  form->StopRenderThread();
  options.Data.SleepPeriod = sleepPeriod;
}
BENCHMARK(PassRate1D)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
