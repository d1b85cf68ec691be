#pragma once

#include "render/GraphicForm.h"
#include "render/OpenGLDisplayPanel.h"
#include "render/OpenGLViewThread.h"
#include "settings/Options.h"

#include <GL/gl.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>

// What the window benchmarks share: showing a view window, timing its frame
// drawing and counting its rendering thread's passes.

// Shows the form at 800 x 600 and waits (up to 20 s) until its thread has
// passed once; the benchmark fails when the window was not shown or no frame
// was drawn.
inline void ShowBenchWindow(TGraphicForm &form, benchmark::State &state) {
  form.resize(800, 600);
  form.show();
  if (!QTest::qWaitForWindowExposed(&form))
    state.SkipWithError("the window was not shown");
  QElapsedTimer timer;
  timer.start();
  while (form.RenderThread()->GetPassCount() < 1 && timer.elapsed() < 20000)
    QTest::qWait(1);
  if (form.GetLastDrawnTime() < 0.0)
    state.SkipWithError("no frame was drawn");
}

// The frame drawing alone, the rendering thread suspended: the panel's paint
// into its framebuffer, finished, without the composition into the window;
// beforeEach runs ahead of every frame. Counts frames per second and stops the
// rendering thread.
inline void PaintBenchFrames(benchmark::State &state, TGraphicForm &form,
                             const std::function<void()> &beforeEach = {}) {
  form.RenderThread()->Suspend();
  QTest::qWait(50);
  TOpenGLDisplayPanel *panel = form.DisplayPanel();
  TPanelRenderer *renderer = panel->GetRenderer();
  panel->makeCurrent();
  for (auto _ : state) {
    if (beforeEach)
      beforeEach();
    renderer->PaintGL(*panel);
    glFinish();
  }
  panel->doneCurrent();
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  form.StopRenderThread();
}

// One frame as a pass draws it, the rendering thread suspended: the drawing
// and its swap into the window. Counts frames per second and stops the
// rendering thread.
inline void DrawBenchFrames(benchmark::State &state, TGraphicForm &form) {
  TOpenGLViewThread *thread = form.RenderThread();
  thread->Suspend();
  QTest::qWait(50);
  TOpenGLDisplayPanel *panel = form.DisplayPanel();
  for (auto _ : state)
    panel->PaintNow();
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  form.StopRenderThread();
}

// Data.SleepPeriod 0 while it lives, so that the rendering threads started
// meanwhile never pause between passes.
class TScopedNoSleepPeriod {
public:
  TScopedNoSleepPeriod() { TOptions::Instance().Data.SleepPeriod = 0; }
  ~TScopedNoSleepPeriod() { TOptions::Instance().Data.SleepPeriod = Saved; }
  TScopedNoSleepPeriod(const TScopedNoSleepPeriod &) = delete;
  TScopedNoSleepPeriod &operator=(const TScopedNoSleepPeriod &) = delete;

private:
  const std::int32_t Saved = TOptions::Instance().Data.SleepPeriod;
};

// Passes and frames per second of the shown window's rendering thread, one
// pass awaited per iteration; beforeEach runs ahead of every pass. Stops the
// rendering thread.
inline void CountBenchPasses(benchmark::State &state, TGraphicForm &form,
                             const std::function<void()> &beforeEach = {}) {
  TOpenGLViewThread *thread = form.RenderThread();
  std::uint64_t passes = 0;
  const std::uint64_t frames = thread->GetFrameCount();
  for (auto _ : state) {
    if (beforeEach)
      beforeEach();
    const std::uint64_t before = thread->GetPassCount();
    while (thread->GetPassCount() == before)
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    passes += thread->GetPassCount() - before;
  }
  state.counters["passes_per_s"] =
      benchmark::Counter(static_cast<double>(passes), benchmark::Counter::kIsRate);
  state.counters["frames_per_s"] = benchmark::Counter(
      static_cast<double>(thread->GetFrameCount() - frames), benchmark::Counter::kIsRate);
  form.StopRenderThread();
}
