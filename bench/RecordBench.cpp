// Recording speed: playback of a Control Window whose 800 x 600 3D window, on
// a 10,000-segment cell, records to MP4 or to PNG images (argument 0: none,
// 1: MP4, 2: PNG), with frames delay 0 and Data.SleepPeriod as the second
// argument; each iteration is one frame step. draws_per_frame counts the view's
// drawings per step: recording reads the frame drawn, it does not draw again.
// And the recorder alone, fed 800 x 600 frames; and `dendrovia --render` of the
// same cell and frames to MP4 without a display, at 800 x 600 and 1920 x 1080
// (each iteration one whole run of the command; frames_per_s counts the
// frames written).
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_record

#include "bench/BenchInputs.h"
#include "control/DataControl.h"
#include "render/FrameRecorder.h"
#include "render/OpenGLViewThread.h"
#include "settings/Options.h"
#include "views/Show3D.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

namespace {

TMovieRequest Request(int kind, const QTemporaryDir &dir) {
  TMovieRequest request;
  request.Format = kind == 1 ? TMovieFormat::Mp4 : TMovieFormat::PngSequence;
  request.MoviePath = dir.filePath("bench.mp4");
  request.ImageFolder = dir.filePath("frames");
  return request;
}

void RecordedPlayback(benchmark::State &state) {
  const int kind = static_cast<int>(state.range(0));
  TOptions &options = TOptions::Instance();
  options.Data.SleepPeriod = static_cast<int32_t>(state.range(1));
  options.ControlPanel.FramesDelay = 0;
  const TSampleNeuron::TShape shape{
      .Sections = 200, .Trunks = 8, .Segments = 10000, .Points = 20000};
  QTemporaryDir dir;
  auto form = std::make_unique<TDataControlForm>();
  form->OpenFile(QString::fromStdString(TBenchInputs::Get(shape, 400, 0.5)));
  form->show();
  form->findChild<QPushButton *>("Show3DButton")->click();
  TShow3DForm *view = form->Form3D();
  view->resize(800, 600);
  if (!QTest::qWaitForWindowExposed(view) ||
      !QTest::qWaitFor([view] { return view->GetLastDrawnTime() >= 0.0; }, 10000)) {
    state.SkipWithError("the 3D window drew nothing");
    return;
  }
  QPushButton *play = form->findChild<QPushButton *>("PlayBitBtn");
  std::uint64_t frames = 0;
  QObject::connect(form->findChild<QLineEdit *>("TimeCurrentEdit"), &QLineEdit::textChanged,
                   [&frames] { ++frames; });
  const auto start = [&] {
    // Each run of playback records anew: its end ends the recording.
    if (kind != 0)
      view->StartRecording(Request(kind, dir));
    play->click();
  };
  start();
  const std::uint64_t drawsBefore = view->RenderThread()->GetDrawCount();
  for (auto _ : state) {
    const std::uint64_t before = frames;
    while (frames == before) {
      if (!form->IsPlaying() && !view->IsRecording())
        start();
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["draws_per_frame"] =
      static_cast<double>(view->RenderThread()->GetDrawCount() - drawsBefore) /
      static_cast<double>(state.iterations());
  form->findChild<QPushButton *>("StopBitBtn")->click();
  form.reset();
}
BENCHMARK(RecordedPlayback)
    ->ArgsProduct({{0, 1, 2}, {15, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(5.0);

// The recorder alone: one 800 x 600 frame written per iteration.
void RecorderThroughput(benchmark::State &state) {
  QTemporaryDir dir;
  TFrameRecorder recorder(Request(static_cast<int>(state.range(0)), dir), "bench", Qt::white);
  QImage frame(800, 600, QImage::Format_RGB32);
  int n = 0;
  for (auto _ : state) {
    frame.fill(QColor::fromHsv(n % 360, 200, 230));
    if (!recorder.AddFrame(frame, n++)) {
      state.SkipWithError(recorder.Error().toStdString().c_str());
      break;
    }
  }
  recorder.Finish();
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(RecorderThroughput)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The command on the 400-frame, 10,000-segment cell, without DISPLAY, into an
// MP4 of width x height (the arguments).
void HeadlessRender(benchmark::State &state) {
  const TSampleNeuron::TShape shape{
      .Sections = 200, .Trunks = 8, .Segments = 10000, .Points = 20000};
  const QString data = QString::fromStdString(TBenchInputs::Get(shape, 400, 0.5));
  QTemporaryDir dir;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  environment.remove("WAYLAND_DISPLAY");
  double frames = 0.0;
  double seconds = 0.0;
  for (auto _ : state) {
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(DENDROVIA_EXECUTABLE,
                  {"--render", data, "--view", "3d", "--out", dir.filePath("x.mp4"), "--size",
                   QString("%1x%2").arg(state.range(0)).arg(state.range(1))});
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
      state.SkipWithError(process.readAllStandardError().toStdString().c_str());
      return;
    }
    seconds += static_cast<double>(timer.elapsed()) / 1000.0;
    frames += 400.0;
  }
  state.counters["frames_per_s"] = frames / seconds;
}
BENCHMARK(HeadlessRender)
    ->Args({800, 600})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

} // namespace
