#include "render/PipelinedDraw.h"

#include <algorithm>
#include <climits>

std::vector<TDrawPart> SplitIntoParts(std::size_t count, GLenum mode) {
  // Vertices per primitive, and how many a part shares with the one before.
  std::size_t size = 2;
  std::size_t shared = 0;
  switch (mode) {
  case GL_LINE_STRIP:
    size = 1;
    shared = 1;
    break;
  case GL_TRIANGLES:
    size = 3;
    break;
  case GL_QUADS:
    size = 4;
    break;
  default:
    break;
  }
  const std::size_t primitives = count > shared ? (count - shared) / size : 0;
  std::vector<TDrawPart> parts;
  if (primitives == 0)
    return parts;
  const std::size_t wanted = std::clamp<std::size_t>(primitives / MinPartPrimitives, 1, MaxParts);
  const std::size_t largest = (static_cast<std::size_t>(INT_MAX) - shared) / size;
  const std::size_t perPart = std::min((primitives + wanted - 1) / wanted, largest);
  for (std::size_t done = 0; done < primitives; done += perPart) {
    const std::size_t taken = std::min(perPart, primitives - done);
    parts.push_back({done * size, taken * size + shared});
  }
  return parts;
}

void DrawInParts(std::size_t count, GLenum mode,
                 const std::function<void(std::size_t first, GLsizei count)> &draw) {
  const std::vector<TDrawPart> parts = SplitIntoParts(count, mode);
  for (const TDrawPart &part : parts) {
    draw(part.First, static_cast<GLsizei>(part.Count));
    if (parts.size() > 1)
      glFlush();
  }
}

void DrawIndexedInParts(GLenum mode, const std::vector<std::uint32_t> &indices) {
  DrawInParts(indices.size(), mode, [mode, &indices](std::size_t first, GLsizei count) {
    glDrawElements(mode, count, GL_UNSIGNED_INT, indices.data() + first);
  });
}
