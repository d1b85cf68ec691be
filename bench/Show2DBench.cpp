// Drawing cost of the 2D graphic on the machine's OpenGL (Mesa llvmpipe under
// Xvfb in CI), its redraw rate without a pause, the cost
// of the F(t) markers and the time of one pick.
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_show2d

#include "bench/BenchViewContext.h"
#include "bench/BenchViewWindow.h"
#include "settings/Options.h"
#include "views/Dendrogram.h"
#include "views/Show2D.h"
#include "views/Show2DThread.h"

#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// Ten segments per section: more sections, rows and draw calls than the 1D
// samples have.
constexpr int SegmentsPerSection = 10;

// count F(t) points spread evenly over the sections, each on its first segment,
// and the markers shown.
void AddPoints(TBenchViewContext &context, int count) {
  TOptions::Instance().Graphics2D.ShowPoints = count > 0;
  const std::vector<std::int32_t> &itemFirst = context.Data.GetItemFirstSection();
  const auto sections = static_cast<std::int32_t>(context.Data.GetSections().size());
  for (int p = 0; p < count; ++p) {
    const std::int32_t section = static_cast<std::int32_t>(std::int64_t{p} * sections / count);
    std::int32_t item = 0;
    while (itemFirst[item + 1] <= section)
      ++item;
    auto point = std::make_unique<TSelectedPointInfo>();
    point->Item = item;
    point->SectionInItem = section - itemFirst[item];
    point->Color = 0xFF00FF;
    context.Points.push_back(std::move(point));
  }
}

// A shown 800 x 600 2D window whose thread has drawn its first frame.
std::unique_ptr<TShow2DForm> OpenWindow(TBenchViewContext &context, benchmark::State &state) {
  auto form = std::make_unique<TShow2DForm>(context);
  form->SetSelectedPoints(context.Points);
  ShowBenchWindow(*form, state);
  return form;
}

// Laying out the dendrogram, once per change of the checked items.
void BuildDendrogram(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)), SegmentsPerSection);
  TDendrogram layout;
  for (auto _ : state) {
    layout.Build(context.Data, 20.0, 10.0);
    benchmark::DoNotOptimize(layout.Vertices().data());
  }
  state.counters["sections"] = static_cast<double>(layout.Sections().size());
}
BENCHMARK(BuildDendrogram)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The frame drawing alone: the panel's paint into its framebuffer, finished,
// without the composition into the window. Arguments: segments, markers.
void Paint2DFrame(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)), SegmentsPerSection);
  AddPoints(context, static_cast<int>(state.range(1)));
  PaintBenchFrames(state, *OpenWindow(context, state));
}
BENCHMARK(Paint2DFrame)
    ->ArgsProduct({{10000, 100000}, {0, 100}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Frames per second of a shown window with Data.SleepPeriod 0, each frame
// recoloured (CountBenchRedraws). Arguments: segments, markers; ten segments
// per section, the tree compare_shape_plot.py draws in NEURON.
void RedrawRate2D(benchmark::State &state) {
  const TScopedNoSleepPeriod noSleep;
  TBenchViewContext context(static_cast<int>(state.range(0)), SegmentsPerSection);
  AddPoints(context, static_cast<int>(state.range(1)));
  CountBenchRedraws(state, *OpenWindow(context, state), context.Data);
}
BENCHMARK(RedrawRate2D)
    ->ArgsProduct({{10000, 100000}, {0, 100}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One click on the middle of the middle section of the model. Arguments: segments, segments
// per section. With ten per section the rows lie closer than a pixel, so the
// first pass already finds more than one item and the pick ends there; with
// 2000 the rows are apart and all three passes draw (the third may still find
// several segments under the mouse, which gives -1 in all three results).
void Pick2D(benchmark::State &state) {
  TBenchViewContext context(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  std::unique_ptr<TShow2DForm> form = OpenWindow(context, state);
  TOpenGLThread2D *thread = form->RenderThread2D();
  thread->Suspend();
  QTest::qWait(50);
  const TDendrogram &layout = thread->Layout();
  const TDendrogramSection &middle = layout.Sections()[layout.Sections().size() / 2];
  const TDendrogramVertex &start = layout.Vertices()[middle.FirstVertex];
  const TDendrogramVertex &end = layout.Vertices()[middle.FirstVertex + middle.SegmentCount];
  const TViewGeometry &g = thread->GetGeometry();
  const int x = static_cast<int>((((start.X + end.X) / 2.0) - g.ViewLeft) /
                                 (g.ViewRight - g.ViewLeft) * g.PanelWidth());
  const int y =
      g.PanelHeight() - 1 -
      static_cast<int>((start.Y - g.ViewBottom) / (g.ViewTop - g.ViewBottom) * g.PanelHeight());
  TSelectionResult result{};
  for (auto _ : state) {
    std::string title;
    std::string value;
    result = thread->PickPoint(x, y, title, value);
    benchmark::DoNotOptimize(title.data());
  }
  state.counters["item"] = result[0];
  state.counters["section"] = result[1];
  state.counters["segment"] = result[2];
  form->StopRenderThread();
}
BENCHMARK(Pick2D)
    ->Args({10000, SegmentsPerSection})
    ->Args({100000, SegmentsPerSection})
    ->Args({100000, 2000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
