// End-to-end playback of a Control Window with frames delay 0 (1 ms timer):
// with one visible 1D window, against its pass rate during it (arguments:
// segments, Data.SleepPeriod; each iteration is one frame step); with the 1D,
// 2D, 3D and F(t) windows open, checking that every view drew every frame; and
// the cost of the four views while paused.
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_playback

#include "bench/BenchInputs.h"
#include "control/DataControl.h"
#include "render/OpenGLViewThread.h"
#include "settings/Options.h"
#include "views/Show1D.h"
#include "views/Show1DThread.h"
#include "views/Show2D.h"
#include "views/Show3D.h"
#include "views/ShowFt.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

namespace {

// Plays one frame per iteration, counting on frames, which the caller ticks
// whenever the Control Window shows a new time; at the end of the time scale
// playback stops and is started over.
void PlayFrames(benchmark::State &state, TDataControlForm &form, const std::uint64_t &frames) {
  QPushButton *play = form.findChild<QPushButton *>("PlayBitBtn");
  play->click();
  for (auto _ : state) {
    const std::uint64_t before = frames;
    while (frames == before) {
      if (!form.IsPlaying())
        play->click();
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
  }
}

void PlaybackRate(benchmark::State &state) {
  TOptions &options = TOptions::Instance();
  options.Data.SleepPeriod = static_cast<int32_t>(state.range(1));
  options.ControlPanel.FramesDelay = 0;
  const int segments = static_cast<int>(state.range(0));
  const TSampleNeuron::TShape shape{
      .Sections = segments / 50, .Trunks = 8, .Segments = segments, .Points = 2 * segments};
  auto form = std::make_unique<TDataControlForm>();
  form->OpenFile(QString::fromStdString(TBenchInputs::Get(shape, 400, 0.5)));
  form->show();
  form->findChild<QPushButton *>("Show1DButton")->click();
  TShow1DForm *view = form->Form1D();
  if (!QTest::qWaitForWindowExposed(view) ||
      !QTest::qWaitFor([view] { return view->GetLastDrawnTime() >= 0.0; }, 10000)) {
    state.SkipWithError("the 1D window drew nothing");
    return;
  }
  QLineEdit *current = form->findChild<QLineEdit *>("TimeCurrentEdit");
  std::uint64_t frames = 0;
  QObject::connect(current, &QLineEdit::textChanged, [&frames] { ++frames; });

  TOpenGLThread1D *thread = view->RenderThread1D();
  const std::uint64_t passesBefore = thread->GetPassCount();
  const std::uint64_t framesBefore = frames;
  PlayFrames(state, *form, frames);
  const double passes = static_cast<double>(thread->GetPassCount() - passesBefore);
  const double stepped = static_cast<double>(frames - framesBefore);
  state.counters["frames_per_s"] = benchmark::Counter(stepped, benchmark::Counter::kIsRate);
  state.counters["view_passes_per_s"] = benchmark::Counter(passes, benchmark::Counter::kIsRate);
  state.counters["passes_per_frame"] = passes / stepped;
  form->findChild<QPushButton *>("StopBitBtn")->click();
  form.reset();
}
BENCHMARK(PlaybackRate)
    ->ArgsProduct({{10000, 100000}, {0, 15}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A shown Control Window on 400 frames of a cell of the segments, ten to a
// section, with the 1D, 2D, 3D and F(t) windows open at 800 x 600 and ten F(t)
// points; null (and the benchmark failed) when a view drew nothing.
std::unique_ptr<TDataControlForm> OpenFourViews(int segments, benchmark::State &state) {
  const TSampleNeuron::TShape shape{
      .Sections = segments / 10, .Trunks = 8, .Segments = segments, .Points = 2 * segments};
  auto form = std::make_unique<TDataControlForm>();
  form->OpenFile(QString::fromStdString(TBenchInputs::Get(shape, 400, 0.5)));
  form->show();
  for (int p = 0; p < 10; ++p)
    form->AddSelectedPoint("0," + std::to_string(p) + ",0", "p" + std::to_string(p));
  for (const char *button : {"Show1DButton", "Show2DButton", "Show3DButton", "ShowFtButton"})
    form->findChild<QPushButton *>(button)->click();
  for (TGraphicForm *view : std::array<TGraphicForm *, 4>{form->Form1D(), form->Form2D(),
                                                          form->Form3D(), form->FormFt()}) {
    view->resize(800, 600);
    if (!QTest::qWaitForWindowExposed(view) ||
        !QTest::qWaitFor([view] { return view->GetLastDrawnTime() >= 0.0; }, 20000)) {
      state.SkipWithError("a view drew nothing");
      return nullptr;
    }
  }
  return form;
}

std::array<TGraphicForm *, 4> Views(const TDataControlForm &form) {
  return {form.Form1D(), form.Form2D(), form.Form3D(), form.FormFt()};
}

// Frames per second of playback with all four views open, Data.SleepPeriod 0;
// missed_frames counts the forward steps after which a view had not drawn the
// frame shown before (0 when pacing holds).
void PlaybackRate4Views(benchmark::State &state) {
  TOptions &options = TOptions::Instance();
  options.Data.SleepPeriod = 0;
  options.ControlPanel.FramesDelay = 0;
  std::unique_ptr<TDataControlForm> form = OpenFourViews(static_cast<int>(state.range(0)), state);
  if (!form)
    return;
  QLineEdit *current = form->findChild<QLineEdit *>("TimeCurrentEdit");
  std::uint64_t frames = 0;
  std::uint64_t missed = 0;
  double shown = form->CurrentTime();
  QObject::connect(current, &QLineEdit::textChanged, [&] {
    ++frames;
    const double now = form->CurrentTime();
    if (now > shown)
      for (TGraphicForm *view : Views(*form))
        missed += view->GetLastDrawnTime() != shown;
    shown = now;
  });
  std::array<std::uint64_t, 4> draws{};
  for (std::size_t v = 0; v < draws.size(); ++v)
    draws[v] = Views(*form)[v]->RenderThread()->GetDrawCount();
  const std::uint64_t framesBefore = frames;
  PlayFrames(state, *form, frames);
  const auto stepped = static_cast<double>(frames - framesBefore);
  state.counters["frames_per_s"] = benchmark::Counter(stepped, benchmark::Counter::kIsRate);
  state.counters["missed_frames"] = static_cast<double>(missed);
  const char *names[] = {"draws_per_frame_1d", "draws_per_frame_2d", "draws_per_frame_3d",
                         "draws_per_frame_ft"};
  for (std::size_t v = 0; v < draws.size(); ++v)
    state.counters[names[v]] =
        static_cast<double>(Views(*form)[v]->RenderThread()->GetDrawCount() - draws[v]) / stepped;
  form->findChild<QPushButton *>("StopBitBtn")->click();
  form.reset();
}
BENCHMARK(PlaybackRate4Views)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A paused Control Window with the four views open, the default sleep period:
// the share of one core the process takes (core_percent) and the frames the
// views draw per second. Each iteration is 100 ms of waiting.
void IdleFourViews(benchmark::State &state) {
  TOptions::Instance().ControlPanel.FramesDelay = 0;
  std::unique_ptr<TDataControlForm> form = OpenFourViews(10000, state);
  if (!form)
    return;
  form->findChild<QPushButton *>("PlayBitBtn")->click();
  QTest::qWait(100);
  form->findChild<QPushButton *>("PauseBitBtn")->click();
  QTest::qWait(500);
  const auto allDraws = [&form] {
    std::uint64_t draws = 0;
    for (TGraphicForm *view : Views(*form))
      draws += view->RenderThread()->GetDrawCount();
    return draws;
  };
  const std::uint64_t draws = allDraws();
  QElapsedTimer wall;
  wall.start();
  const double cpu = ProcessCpuSeconds();
  for (auto _ : state)
    QTest::qWait(100);
  const double seconds = static_cast<double>(wall.nsecsElapsed()) * 1e-9;
  state.counters["core_percent"] = 100.0 * (ProcessCpuSeconds() - cpu) / seconds;
  state.counters["draws_per_s"] = static_cast<double>(allDraws() - draws) / seconds;
  form.reset();
}
BENCHMARK(IdleFourViews)->Iterations(30)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
