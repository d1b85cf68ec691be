// End-to-end playback of a Control Window with one visible 1D window and
// frames delay 0 (1 ms timer), against the 1D window's pass rate during it.
// Arguments: segments, Data.SleepPeriod. Each iteration is one frame step.
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_playback

#include "bench/BenchInputs.h"
#include "control/DataControl.h"
#include "settings/Options.h"
#include "views/Show1D.h"
#include "views/Show1DThread.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

namespace {

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
  QPushButton *play = form->findChild<QPushButton *>("PlayBitBtn");
  QLineEdit *current = form->findChild<QLineEdit *>("TimeCurrentEdit");
  std::uint64_t frames = 0;
  QObject::connect(current, &QLineEdit::textChanged, [&frames] { ++frames; });

  TOpenGLThread1D *thread = view->RenderThread1D();
  const std::uint64_t passesBefore = thread->GetPassCount();
  const std::uint64_t framesBefore = frames;
  play->click();
  for (auto _ : state) {
    const std::uint64_t before = frames;
    while (frames == before) {
      // At the end of the time scale playback stops; start it over.
      if (!form->IsPlaying())
        play->click();
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
  }
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

} // namespace
