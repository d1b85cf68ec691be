// Drawing cost of the 3D graphic on the machine's OpenGL (Mesa llvmpipe under
// Xvfb in CI) and the pass rate of its rendering thread without a pause, in
// the Wire (style 0) and Diameter (style 1) styles.
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_show3d

#include "bench/BenchInputs.h"
#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"
#include "render/OpenGLDisplayPanel.h"
#include "settings/Options.h"
#include "views/Morphology3D.h"
#include "views/Show3D.h"
#include "views/Show3DThread.h"
#include "views/ViewContext.h"

#include <GL/gl.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>

namespace {

// A loaded sample of the given number of segments, coloured over -80..40.
class TBenchContext : public TViewContext {
public:
  explicit TBenchContext(int segments) {
    const TSampleNeuron::TShape shape{
        .Sections = segments / 50, .Trunks = 8, .Segments = segments, .Points = 2 * segments};
    Data.Load(TBenchInputs::Get(shape, 40, 0.25));
    Palette.SetRange(-80.0, 40.0);
    Data.SetPalette(&Palette);
    Data.SeekFrame(5.0);
  }

  const TNeuronDataFile &GetViewData() const override { return Data; }
  const TDataToColor &GetViewPalette() const override { return Palette; }
  std::string GetVariableMinText() const override { return "-80"; }
  std::string GetVariableMaxText() const override { return "40"; }
  std::string GetTimeMinText() const override { return "0"; }
  std::string GetTimeMaxText() const override { return "4"; }
  TSelectedPointList &GetFtPoints() override { return Points; }
  void AddSelectedPoint(const std::string &, const std::string &) override {}
  void ShowHelpWindow(bool) override {}

  const float *Colors() const {
    std::lock_guard lock(Data.GetFrameLock());
    return Data.GetCurrentColors();
  }

  TNeuronDataFile Data;
  TDataToColor Palette;
  TSelectedPointList Points;
};

// A shown 800 x 600 3D window in the style whose thread has drawn its first frame.
std::unique_ptr<TShow3DForm> OpenWindow(TBenchContext &context, int style,
                                        benchmark::State &state) {
  TOptions::Instance().Graphics3D.ShapeStyle = style;
  auto form = std::make_unique<TShow3DForm>(context);
  form->resize(800, 600);
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get()))
    state.SkipWithError("the window was not shown");
  QElapsedTimer timer;
  timer.start();
  while (form->RenderThread3D()->GetPassCount() < 1 && timer.elapsed() < 10000)
    QTest::qWait(1);
  if (form->GetLastDrawnTime() < 0.0)
    state.SkipWithError("no frame was drawn");
  return form;
}

// The wire's arrays after a change of the check marks, and their colours of
// one frame, without OpenGL.
void Build3DWire(benchmark::State &state) {
  TBenchContext context(static_cast<int>(state.range(0)));
  TMorphology3D morphology;
  std::uint8_t checked = 0;
  for (auto _ : state) {
    checked = 1 - checked;
    context.Data.GetItemChecked()[0] = checked;
    morphology.Update(context.Data);
    morphology.Color(context.Colors());
    benchmark::DoNotOptimize(morphology.PointColors().data());
  }
  state.counters["lines"] = static_cast<double>(morphology.Lines().size() / 2);
  state.counters["array_MB"] =
      static_cast<double>(morphology.Points().size() * sizeof(float) +
                          morphology.PointColors().size() * 4 + morphology.Lines().size() * 4) /
      1e6;
}
BENCHMARK(Build3DWire)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The band corners and outlines under a matrix that changes every frame (the
// model turning) at 800 x 600, and their colours, without OpenGL.
void Build3DBands(benchmark::State &state) {
  TBenchContext context(static_cast<int>(state.range(0)));
  TMorphology3D morphology;
  morphology.Update(context.Data);
  const TNeuronDataFile &data = context.Data;
  TViewGeometry geometry;
  FitModelView(geometry,
               {data.GetMinX(), data.GetMaxX(), data.GetMinY(), data.GetMaxY(), data.GetMinZ(),
                data.GetMaxZ()},
               0, 0, 800, 600, TOpenGLThread3D::MinimumMargin, 1.0);
  TModelTransform3D transform;
  for (auto _ : state) {
    transform.Rotate(0.5, 0.25, 0.0);
    morphology.BuildBands(transform.Matrix(), geometry.XUnits(1.0));
    morphology.ColorBands(context.Colors());
    benchmark::DoNotOptimize(morphology.BandCorners().data());
  }
  state.counters["bands"] = static_cast<double>(morphology.Lines().size() / 2);
  state.counters["array_MB"] = static_cast<double>(morphology.BandCorners().size() * sizeof(float) +
                                                   morphology.BandColors().size() * 4 +
                                                   morphology.BandOutlines().size() * 4 +
                                                   morphology.BandFills().size() * 4) /
                               1e6;
}
BENCHMARK(Build3DBands)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The frame drawing alone: the panel's paint into its framebuffer, finished,
// without the composition into the window. Arguments: segments, style, and
// whether the model turns between frames (then the bands are built anew).
void Paint3DFrame(benchmark::State &state) {
  TBenchContext context(static_cast<int>(state.range(0)));
  std::unique_ptr<TShow3DForm> form = OpenWindow(context, static_cast<int>(state.range(1)), state);
  TOpenGLThread3D *thread = form->RenderThread3D();
  thread->Suspend();
  QTest::qWait(50);
  TOpenGLDisplayPanel *panel = form->DisplayPanel();
  TPanelRenderer *renderer = panel->GetRenderer();
  const bool turning = state.range(2) != 0;
  panel->makeCurrent();
  for (auto _ : state) {
    if (turning)
      thread->Rotate(0.5, 0.25, 0.0);
    renderer->PaintGL(*panel);
    glFinish();
  }
  panel->doneCurrent();
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  form->StopRenderThread();
}
BENCHMARK(Paint3DFrame)
    ->ArgNames({"segments", "style", "turning"})
    ->ArgsProduct({{10000, 100000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Passes per second of a shown window with Data.SleepPeriod 0, the model
// turning between passes: each pass is the projection check, the frame
// drawing on the GUI thread and the hand-over.
void PassRate3D(benchmark::State &state) {
  TOptions &options = TOptions::Instance();
  const int sleepPeriod = options.Data.SleepPeriod;
  options.Data.SleepPeriod = 0;
  TBenchContext context(static_cast<int>(state.range(0)));
  std::unique_ptr<TShow3DForm> form = OpenWindow(context, static_cast<int>(state.range(1)), state);
  TOpenGLThread3D *thread = form->RenderThread3D();
  std::uint64_t passes = 0;
  const std::uint64_t frames = thread->GetFrameCount();
  for (auto _ : state) {
    thread->Rotate(0.5, 0.25, 0.0);
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
BENCHMARK(PassRate3D)
    ->ArgNames({"segments", "style"})
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
