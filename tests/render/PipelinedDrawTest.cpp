#include "render/PipelinedDraw.h"
#include "PanelWindow.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>

namespace {

TEST(PipelinedDraw, PartsHoldWholePrimitivesAndCoverThemAll) {
  struct TCase {
    std::size_t Count;
    GLenum Mode;
    std::size_t Parts;
  };
  const TCase cases[] = {
      {0, GL_LINES, 0},
      {1, GL_LINES, 0},
      {1, GL_LINE_STRIP, 0},
      {2, GL_LINE_STRIP, 1},
      {3999, GL_LINES, 1},
      {4001, GL_LINES, 2},
      {20000, GL_LINES, 10},
      {20001, GL_LINE_STRIP, 16},
      {1000000, GL_QUADS, 16},
      {600002, GL_TRIANGLES, 16},
      {static_cast<std::size_t>(INT_MAX) * 3, GL_LINES, 16},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(testing::Message() << c.Count << " vertices of mode " << c.Mode);
    const std::size_t size = c.Mode == GL_QUADS ? 4 : c.Mode == GL_TRIANGLES ? 3 : 2;
    const bool strip = c.Mode == GL_LINE_STRIP;
    const std::vector<TDrawPart> parts = SplitIntoParts(c.Count, c.Mode);
    EXPECT_EQ(parts.size(), c.Parts);
    std::size_t next = 0;
    for (const TDrawPart &part : parts) {
      // Strip parts start on the end vertex of the one before.
      EXPECT_EQ(part.First, next);
      EXPECT_LE(part.Count, static_cast<std::size_t>(INT_MAX));
      if (strip)
        EXPECT_GE(part.Count, 2u);
      else
        EXPECT_EQ(part.Count % size, 0u);
      next = part.First + part.Count - (strip ? 1 : 0);
    }
    const std::size_t drawn = strip ? (c.Count < 2 ? 0 : c.Count - 1) : c.Count / size * size;
    EXPECT_EQ(parts.empty() ? 0 : next, drawn);
  }
}

TEST(PipelinedDraw, DrawingInPartsGivesTheSamePixelsAsOneCall) {
  TPanelWindow window;
  window.Window.resize(400, 300);
  ASSERT_TRUE(window.Show());

  // Many short overlapping primitives of random colours, so that the order of
  // drawing decides most pixels.
  std::mt19937 random(7);
  std::uniform_real_distribution<float> position(0.0f, 400.0f), step(-3.0f, 3.0f), shade(0, 1);
  std::vector<float> points, colors;
  float x = 200, y = 150;
  for (int i = 0; i < 60000; ++i) {
    x = i % 7 == 0 ? position(random) : x + step(random);
    y = i % 7 == 0 ? position(random) * 0.75f : y + step(random);
    points.insert(points.end(), {x, y});
    colors.insert(colors.end(), {shade(random), shade(random), shade(random)});
  }
  for (GLenum mode : {GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_QUADS}) {
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    const auto count = points.size() / 2;
    ASSERT_GT(SplitIntoParts(count, mode).size(), 1u);
    const auto drawWith = [&](const std::function<void()> &draw) {
      window.Renderer.Draw = [&] {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, points.data());
        glColorPointer(3, GL_FLOAT, 0, colors.data());
        draw();
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
      };
      return window.Panel->grabFramebuffer();
    };
    const QImage whole = drawWith([&] { glDrawArrays(mode, 0, static_cast<GLsizei>(count)); });
    const QImage parts = drawWith([&] {
      DrawInParts(count, mode, [mode](std::size_t first, GLsizei partCount) {
        glDrawArrays(mode, static_cast<GLint>(first), partCount);
      });
    });
    ASSERT_FALSE(whole.isNull());
    EXPECT_TRUE(whole == parts);
  }
}

} // namespace
