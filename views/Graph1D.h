#pragma once

#include <cstdint>
#include <vector>

class TNeuronDataFile;

// One vertex of the 1D graph: distance, value and the colour there. Single
// precision, as OpenGL draws them, so that the vertices go to it unconverted.
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
class TGraph1D {
public:
  // Rebuilds the strips from the model, the frame's values (one per global
  // segment) and colours (red, green, blue per global segment). Sections
  // without segments are skipped; children outside the model are ignored.
  void Build(const TNeuronDataFile &data, const double *values, const float *colors);

  const std::vector<TGraph1DVertex> &Vertices() const { return VertexList; }
  const std::vector<TGraph1DStrip> &Strips() const { return StripList; }

private:
  void BeginStrip();
  void Add(double x, double y, const float *color);
  void EndStrip();

  std::vector<TGraph1DVertex> VertexList;
  std::vector<TGraph1DStrip> StripList;
  std::vector<std::int32_t> Forks;
};
