#pragma once

#include "data/NeuronDataFile.h"
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
// drawing and counting the frames its rendering thread draws.

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

// Frames per second of the shown window with Data.SleepPeriod 0 when every
// frame brings new colours: each iteration recolours the data's current frame
// (the palette mapping of every segment, as a step does) and waits until the
// window's thread has woken, drawn and swapped it. Stops the rendering thread.
inline void CountBenchRedraws(benchmark::State &state, TGraphicForm &form, TNeuronDataFile &data) {
  TOpenGLViewThread *thread = form.RenderThread();
  for (auto _ : state) {
    const std::uint64_t before = thread->GetDrawCount();
    data.RecolorCurrentFrame();
    while (thread->GetDrawCount() == before)
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  form.StopRenderThread();
}
