// Drawing cost of the 3D graphic on the machine's OpenGL (Mesa llvmpipe under
// Xvfb in CI) and its redraw rate without a pause, in
// the Wire (style 0) and Diameter (style 1) styles.
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_show3d

#include "bench/BenchViewContext.h"
#include "bench/BenchViewWindow.h"
#include "settings/Options.h"
#include "views/CurrentFrame.h"
#include "views/Morphology3D.h"
#include "views/Show3D.h"
#include "views/Show3DThread.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

namespace {

// A shown 800 x 600 3D window in the style whose thread has drawn its first frame.
std::unique_ptr<TShow3DForm> OpenWindow(TBenchViewContext &context, int style,
                                        benchmark::State &state) {
  TOptions::Instance().Graphics3D.ShapeStyle = style;
  auto form = std::make_unique<TShow3DForm>(context);
  ShowBenchWindow(*form, state);
  return form;
}

// The wire's arrays after a change of the check marks, and their colours of
// one frame, without OpenGL.
void Build3DWire(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)));
  TMorphology3D morphology;
  std::uint8_t checked = 0;
  for (auto _ : state) {
    checked = 1 - checked;
    context.Data.GetItemChecked()[0] = checked;
    morphology.Update(context.Data);
    morphology.Color(FetchCurrentFrame(context.Data)->Colors);
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
  TBenchViewContext context(static_cast<int>(state.range(0)));
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
    morphology.ColorBands(FetchCurrentFrame(context.Data)->Colors);
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
  TBenchViewContext context(static_cast<int>(state.range(0)));
  std::unique_ptr<TShow3DForm> form = OpenWindow(context, static_cast<int>(state.range(1)), state);
  TOpenGLThread3D *thread = form->RenderThread3D();
  std::function<void()> turn;
  if (state.range(2) != 0)
    turn = [thread] { thread->Rotate(0.5, 0.25, 0.0); };
  PaintBenchFrames(state, *form, turn);
}
BENCHMARK(Paint3DFrame)
    ->ArgNames({"segments", "style", "turning"})
    ->ArgsProduct({{10000, 100000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Frames per second of a shown window with Data.SleepPeriod 0, each frame
// recoloured (CountBenchRedraws). Arguments: segments, style, segments per
// section, points per section (0: two to a segment). 10 segments on straight
// sections of two points is the tree compare_shape_plot.py draws in NEURON.
void RedrawRate3D(benchmark::State &state) {
  const TScopedNoSleepPeriod noSleep;
  TBenchViewContext context(static_cast<int>(state.range(0)), static_cast<int>(state.range(2)),
                            static_cast<int>(state.range(3)));
  std::unique_ptr<TShow3DForm> form = OpenWindow(context, static_cast<int>(state.range(1)), state);
  CountBenchRedraws(state, *form, context.Data);
}
BENCHMARK(RedrawRate3D)
    ->ArgNames({"segments", "style", "per_section", "points"})
    ->ArgsProduct({{10000, 100000}, {0, 1}, {10}, {0, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
