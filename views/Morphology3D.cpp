#include "views/Morphology3D.h"

#include "data/NeuronDataFile.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Thin = 0.001;

} // namespace

TColor4ub ToColor4ub(const float *rgb) {
  const auto byte = [](float c) {
    return static_cast<std::uint8_t>(std::clamp(c, 0.0f, 1.0f) * 255.0f + 0.5f);
  };
  return {byte(rgb[0]), byte(rgb[1]), byte(rgb[2]), 255};
}

std::array<TBandCorner, 4> DiameterBandCorners(double e, double f, double g, double h, double r1,
                                               double r2) {
  const double dx = g - e;
  const double dy = h - f;
  if (std::fabs(dx) > Thin && std::fabs(dy) > Thin) {
    const double length = std::sqrt(dx * dx + dy * dy);
    const double k1 = r1 / length;
    const double k2 = r2 / length;
    return {{{e + k1 * dy, f - k1 * dx},
             {e - k1 * dy, f + k1 * dx},
             {g - k2 * dy, h + k2 * dx},
             {g + k2 * dy, h - k2 * dx}}};
  }
  if (std::fabs(dy) > Thin)
    return {{{e + r1, f}, {e - r1, f}, {g - r2, h}, {g + r2, h}}};
  if (std::fabs(dx) > Thin)
    return {{{e, f - r1}, {e, f + r1}, {g, h + r2}, {g, h - r2}}};
  const double r = r2 > r1 ? r2 : r1;
  return {{{e + r, f - r}, {e - r, f - r}, {e - r, f + r}, {e + r, f + r}}};
}

bool TMorphology3D::Update(const TNeuronDataFile &data, const TModelFrame &frame) {
  const std::int32_t items = data.GetItemCount();
  std::vector<std::uint8_t> checked(static_cast<std::size_t>(items));
  for (std::int32_t i = 0; i < items; ++i)
    checked[static_cast<std::size_t>(i)] = data.GetItemChecked()[i] == 1 ? 1 : 0;
  if (Source == &data && checked == Checked && frame == Frame)
    return false;
  Source = &data;
  Frame = frame;
  Checked = std::move(checked);
  SegmentTotal = data.GetSectionFirstSegment().empty() ? 0 : data.GetSectionFirstSegment().back();
  Coordinates.clear();
  Radii.clear();
  PointSegment.clear();
  PieceSegment.clear();
  LineList.clear();
  const std::vector<TDataFileSectionInfo> &sections = data.GetSections();
  const std::vector<std::int32_t> &firstSection = data.GetItemFirstSection();
  const std::vector<std::int32_t> &firstSegment = data.GetSectionFirstSegment();
  for (std::int32_t item = 0; item < items; ++item) {
    if (Checked[static_cast<std::size_t>(item)] == 0)
      continue;
    for (std::int32_t s = firstSection[item]; s < firstSection[item + 1]; ++s) {
      const TDataFileSectionInfo &section = sections[static_cast<std::size_t>(s)];
      for (std::int32_t k = 0; k < section.SegmentCount; ++k) {
        const std::int32_t segment = firstSegment[static_cast<std::size_t>(s)] + k;
        const std::int32_t first = section.SegmentFirstPoint[static_cast<std::size_t>(k)];
        const std::int32_t end = section.SegmentFirstPoint[static_cast<std::size_t>(k) + 1];
        for (std::int32_t p = first; p < end; ++p) {
          const auto index = static_cast<std::uint32_t>(PointSegment.size());
          if (p > first) {
            LineList.push_back(index - 1);
            LineList.push_back(index);
            PieceSegment.push_back(segment);
          }
          const TPoint3Dd &point = section.Points[static_cast<std::size_t>(p)];
          Coordinates.insert(Coordinates.end(), {(point.x - frame.CentreX) / frame.Unit,
                                                 (point.y - frame.CentreY) / frame.Unit,
                                                 (point.z - frame.CentreZ) / frame.Unit});
          Radii.push_back(section.Diameters[static_cast<std::size_t>(p)] / 2.0 / frame.Unit);
          PointSegment.push_back(segment);
        }
      }
    }
  }
  PointList.assign(Coordinates.begin(), Coordinates.end());
  PointColorList.resize(PointSegment.size());
  BandsValid = false;
  return true;
}

void TMorphology3D::PackSegmentColors(const float *segmentColors) {
  SegmentColors.resize(static_cast<std::size_t>(SegmentTotal));
  for (std::size_t segment = 0; segment < SegmentColors.size(); ++segment)
    SegmentColors[segment] = ToColor4ub(segmentColors + 3 * segment);
}

void TMorphology3D::Color(const float *segmentColors) {
  PackSegmentColors(segmentColors);
  for (std::size_t point = 0; point < PointSegment.size(); ++point)
    PointColorList[point] = SegmentColors[static_cast<std::size_t>(PointSegment[point])];
}

void TMorphology3D::BuildBands(const TMatrix4d &modelMatrix, double pixelSize) {
  if (BandsValid && modelMatrix == BandMatrix && pixelSize == BandPixelSize)
    return;
  BandMatrix = modelMatrix;
  BandPixelSize = pixelSize;
  BandsValid = true;
  const TMatrix4d &m = modelMatrix;
  // Only x and y of the turned points matter: the bands lie in the screen plane.
  const std::size_t points = PointSegment.size();
  EyePoints.resize(2 * points);
  for (std::size_t i = 0; i < points; ++i) {
    const double *p = &Coordinates[3 * i];
    EyePoints[2 * i] = m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12];
    EyePoints[2 * i + 1] = m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13];
  }
  const std::size_t pieces = PieceSegment.size();
  BandCornerList.resize(pieces * 12);
  BandOutlineList.clear();
  BandFillList.clear();
  float *corners = BandCornerList.data();
  float *ends = corners + pieces * 8;
  for (std::size_t piece = 0; piece < pieces; ++piece) {
    const std::uint32_t a = LineList[2 * piece];
    const std::uint32_t b = LineList[2 * piece + 1];
    const double *p = &EyePoints[2 * a];
    const double *q = &EyePoints[2 * b];
    for (const TBandCorner &corner :
         DiameterBandCorners(p[0], p[1], q[0], q[1], Radii[a], Radii[b])) {
      *corners++ = static_cast<float>(corner.X);
      *corners++ = static_cast<float>(corner.Y);
    }
    *ends++ = static_cast<float>(p[0]);
    *ends++ = static_cast<float>(p[1]);
    *ends++ = static_cast<float>(q[0]);
    *ends++ = static_cast<float>(q[1]);
    const auto first = static_cast<std::uint32_t>(4 * piece);
    if (2.0 * std::max(Radii[a], Radii[b]) >= pixelSize) {
      BandOutlineList.insert(BandOutlineList.end(), {first, first + 1, first + 1, first + 2,
                                                     first + 2, first + 3, first + 3, first});
      BandFillList.insert(BandFillList.end(), {first, first + 1, first + 2, first + 3});
    } else {
      const auto end = static_cast<std::uint32_t>(4 * pieces + 2 * piece);
      BandOutlineList.insert(BandOutlineList.end(), {end, end + 1});
    }
  }
}

void TMorphology3D::ColorBands(const float *segmentColors) {
  PackSegmentColors(segmentColors);
  // Four corners, then the two ends, of every piece.
  const std::size_t pieces = PieceSegment.size();
  BandColorList.resize(pieces * 6);
  TColor4ub *corners = BandColorList.data();
  TColor4ub *ends = corners + pieces * 4;
  for (const std::int32_t segment : PieceSegment) {
    const TColor4ub color = SegmentColors[static_cast<std::size_t>(segment)];
    corners = std::fill_n(corners, 4, color);
    ends = std::fill_n(ends, 2, color);
  }
}
