#pragma once

#include "render/AxisMap.h"

#include <cstdint>
#include <vector>

class TNeuronDataFile;

// One vertex of the 1D graph: distance, value (both in drawing units) and the
// colour there. Single precision, as OpenGL draws them, so that the vertices
// go to it unconverted.
struct TGraph1DVertex {
  float X = 0.0f;
  float Y = 0.0f;
  float R = 0.0f;
  float G = 0.0f;
  float B = 0.0f;
};

// A line strip: Count vertices from First.
struct TGraph1DStrip {
  std::int32_t First = 0;
  std::int32_t Count = 0;
};

// The polylines of the 1D graph for one frame: for every section of every
// checked item a strip through the starts of its segments, each at the mean of
// the two values that meet there and in its segment's colour, ended at the
// section's end; a section with two or more children ends at the middle of its
// last segment and forks from there, one two-vertex strip per child, to the
// mean of its last value and the child's first.
//
// The strips' shape depends on the model and the checked items alone: Layout
// builds it once, with each vertex's distance and the segments its value and
// colour come from; Fill then sets the values and colours of a frame.
class TGraph1D {
public:
  // Lays out the strips of the checked items, distances mapped by x.
  // Sections without segments are skipped; children outside the model are
  // ignored.
  void Layout(const TNeuronDataFile &data, const TAxisMap &x = {});
  // Whether the model, its checked items or the distance map differ from the
  // last Layout.
  bool NeedsLayout(const TNeuronDataFile &data, const TAxisMap &x = {}) const;
  // Sets every vertex's value (mapped by y) and colour from a frame's values
  // (one per global segment) and colours (red, green, blue per global
  // segment).
  void Fill(const double *values, const float *colors, const TAxisMap &y = {});
  // Layout and Fill.
  void Build(const TNeuronDataFile &data, const double *values, const float *colors,
             const TAxisMap &x = {}, const TAxisMap &y = {});

  const std::vector<TGraph1DVertex> &Vertices() const { return VertexList; }
  const std::vector<TGraph1DStrip> &Strips() const { return StripList; }
  // The strips as separate lines, two vertex indices each: one draw call for
  // the whole graph, with the same pixels as the strips.
  const std::vector<std::uint32_t> &LineIndices() const { return Lines; }

private:
  // Where a vertex's value and colour come from: the mean of the values of
  // segments A and B (A's value alone when B is -1), in segment Color's colour.
  struct TSource {
    std::int32_t A = 0;
    std::int32_t B = -1;
    std::int32_t Color = 0;
  };

  void BeginStrip();
  void Add(double x, TSource source);
  void EndStrip();

  std::vector<TGraph1DVertex> VertexList;
  std::vector<TSource> Sources;
  std::vector<TGraph1DStrip> StripList;
  std::vector<std::uint32_t> Lines;
  std::vector<std::int32_t> Forks;
  // What the layout was made for.
  const TNeuronDataFile *LaidOut = nullptr;
  TAxisMap LaidOutMap;
  std::vector<std::uint8_t> LaidOutItems;
  std::size_t LaidOutSections = 0;
};
