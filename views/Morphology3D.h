#pragma once

#include "views/ModelTransform3D.h"
#include "views/Projection3D.h"

#include <array>
#include <cstdint>
#include <vector>

class TNeuronDataFile;

// A colour as OpenGL takes it in one word: red, green, blue, alpha bytes.
struct TColor4ub {
  std::uint8_t R = 0;
  std::uint8_t G = 0;
  std::uint8_t B = 0;
  std::uint8_t A = 255;
};

// A colour of 0..1 floats as bytes, rounded as the framebuffer would round it.
TColor4ub ToColor4ub(const float *rgb);

// A corner of a Diameter band, in transformed (eye) coordinates.
struct TBandCorner {
  double X = 0.0;
  double Y = 0.0;
};

// The flat band between two transformed points (e, f) and (g, h) as wide as
// the diameters 2 r1 and 2 r2 at its ends, facing the screen: its corners in
// drawing order. A piece along the screen's vertical or horizontal (within
// 0.001) is a rectangle; a piece seen end-on is a square of side twice the
// larger radius about the first point.
std::array<TBandCorner, 4> DiameterBandCorners(double e, double f, double g, double h, double r1,
                                               double r2);

// The drawable arrays of the 3D morphology, Qt- and GL-free.
//
// The point arrays of the checked items are built once per model and per change
// of the check marks (Update); the colours are refreshed per frame from the
// frame's segment colours (Color). For Diameter, BuildBands computes the four
// corners of every piece between two consecutive points of a segment under the
// model matrix, and its outline; it does so again only when the matrix, the
// pixel size or the points changed.
//
// A band at least a pixel wide at one end is drawn as its outline (its four
// edges as 1-pixel lines, drawn first) and its fill. A narrower band lies
// within half a pixel of its centre line, and its outline and fill light the
// pixels along that line: it is drawn as that one line, which is what makes
// large cells fast to draw.
class TMorphology3D {
public:
  // Rebuilds the point arrays when the data, its check marks or the frame
  // changed since the last call; true when it did. Points and radii are in the
  // frame's units, relative to its centre.
  bool Update(const TNeuronDataFile &data, const TModelFrame &frame = {});

  // The colours of the wire: one per point, taken from its segment (red,
  // green, blue per global segment).
  void Color(const float *segmentColors);
  // The band corners under the matrix, and the outlines for pixels of
  // pixelSize model units (then ColorBands for their colours).
  void BuildBands(const TMatrix4d &modelMatrix, double pixelSize);
  void ColorBands(const float *segmentColors);

  // Points of the checked items, x, y, z each.
  const std::vector<float> &Points() const { return PointList; }
  const std::vector<TColor4ub> &PointColors() const { return PointColorList; }
  // Pairs of indices into Points: every piece between consecutive points of a
  // segment (the wire's lines).
  const std::vector<std::uint32_t> &Lines() const { return LineList; }
  // Four corners per piece, x, y each, in the order of Lines, then the two
  // ends of every piece; and their colours. The first four per piece are the
  // quads.
  const std::vector<float> &BandCorners() const { return BandCornerList; }
  const std::vector<TColor4ub> &BandColors() const { return BandColorList; }
  std::size_t BandCount() const { return PieceSegment.size(); }
  // Pairs of indices into BandCorners: the outlines of the wide bands and the
  // centre lines of the narrow ones.
  const std::vector<std::uint32_t> &BandOutlines() const { return BandOutlineList; }
  // Quads of indices into BandCorners: the fills of the wide bands.
  const std::vector<std::uint32_t> &BandFills() const { return BandFillList; }

private:
  // The segments' colours as bytes, so that every vertex takes one word.
  void PackSegmentColors(const float *segmentColors);

  const TNeuronDataFile *Source = nullptr;
  TModelFrame Frame;
  std::int32_t SegmentTotal = 0;
  std::vector<TColor4ub> SegmentColors;
  std::vector<std::uint8_t> Checked;
  std::vector<double> Coordinates;
  std::vector<double> Radii;
  std::vector<std::int32_t> PointSegment;
  std::vector<std::int32_t> PieceSegment;
  std::vector<float> PointList;
  std::vector<TColor4ub> PointColorList;
  std::vector<std::uint32_t> LineList;
  bool BandsValid = false;
  TMatrix4d BandMatrix{};
  double BandPixelSize = 0.0;
  std::vector<double> EyePoints;
  std::vector<float> BandCornerList;
  std::vector<TColor4ub> BandColorList;
  std::vector<std::uint32_t> BandOutlineList;
  std::vector<std::uint32_t> BandFillList;
};
