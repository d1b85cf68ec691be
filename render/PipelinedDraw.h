#pragma once

#include <qopengl.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Mesa's software rasteriser sets up every primitive of a frame on the drawing
// thread before its own threads rasterise any of it. Drawing a large array in
// parts with a flush after each lets those threads rasterise one part while the
// next is set up: the same primitives in the same order, so the same pixels, in
// about half the time on large cells.

// A range of vertices to draw with one call.
struct TDrawPart {
  std::size_t First = 0;
  std::size_t Count = 0;
};

// Splits count vertices of mode (GL_LINES, GL_LINE_STRIP, GL_TRIANGLES,
// GL_QUADS) into parts of whole primitives: one part below MinPartPrimitives
// primitives per part, never more than MaxParts, none longer than GLsizei
// counts. Strip parts share their end vertex, so the strip stays whole.
// Vertices after the last whole primitive are left out, as OpenGL leaves them.
std::vector<TDrawPart> SplitIntoParts(std::size_t count, GLenum mode);

// Calls draw for each part of count vertices of mode, flushing after each when
// there are several.
void DrawInParts(std::size_t count, GLenum mode,
                 const std::function<void(std::size_t first, GLsizei count)> &draw);

// glDrawElements of the indices (into the arrays set) in parts, as DrawInParts.
void DrawIndexedInParts(GLenum mode, const std::vector<std::uint32_t> &indices);

inline constexpr std::size_t MinPartPrimitives = 1000;
inline constexpr std::size_t MaxParts = 16;
