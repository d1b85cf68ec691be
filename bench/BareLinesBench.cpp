// The ceiling of any view on this OpenGL: a bare window drawing N short
// coloured lines (a polyline across 800 x 600, as a 1D graph of N segments
// draws) and swapping, with no thread, axes, labels or data behind it; in one
// call and in parts (DrawInParts). What the views add is their own cost.
// Run under an X server: xvfb-run -a -s "-screen 0 1920x1080x24" dendrovia_bench_bare_lines

#include "render/OpenGLDisplayPanel.h"
#include "render/PipelinedDraw.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QTest>
#include <QWindow>

#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

struct TVertex {
  float X, Y, R, G, B;
};

void BareLines(benchmark::State &state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const bool parted = state.range(1) != 0;
  QWindow window;
  window.setSurfaceType(QSurface::OpenGLSurface);
  window.setFormat(TOpenGLDisplayPanel::RequestedFormat());
  window.resize(800, 600);
  window.show();
  QOpenGLContext context;
  context.setFormat(TOpenGLDisplayPanel::RequestedFormat());
  if (!QTest::qWaitForWindowExposed(&window) || !context.create() ||
      !context.makeCurrent(&window)) {
    state.SkipWithError("no OpenGL window");
    return;
  }
  std::vector<TVertex> vertices;
  std::vector<std::uint32_t> lines;
  for (std::size_t i = 0; i <= count; ++i) {
    const auto t = static_cast<float>(i) / static_cast<float>(count);
    vertices.push_back({10.0f + 780.0f * t, 300.0f + 200.0f * std::sin(40.0f * t), t, 1.0f - t,
                        static_cast<float>(i % 3) / 2.0f});
    if (i > 0)
      lines.insert(lines.end(), {static_cast<std::uint32_t>(i - 1), static_cast<std::uint32_t>(i)});
  }
  for (auto _ : state) {
    glViewport(0, 0, 800, 600);
    glClearColor(1, 1, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, 800, 0, 600);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, sizeof(TVertex), &vertices[0].X);
    glColorPointer(3, GL_FLOAT, sizeof(TVertex), &vertices[0].R);
    if (parted)
      DrawIndexedInParts(GL_LINES, lines);
    else
      glDrawElements(GL_LINES, static_cast<GLsizei>(lines.size()), GL_UNSIGNED_INT, lines.data());
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    context.swapBuffers(&window);
  }
  context.doneCurrent();
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BareLines)
    ->ArgNames({"lines", "parts"})
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
