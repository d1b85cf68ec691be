#include "views/Morphology3D.h"

#include "data/NeuronDataFile.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Thin = 0.001;

} // namespace

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

bool TMorphology3D::Update(const TNeuronDataFile &data) {
  const std::int32_t items = data.GetItemCount();
  std::vector<std::uint8_t> checked(static_cast<std::size_t>(items));
  for (std::int32_t i = 0; i < items; ++i)
    checked[static_cast<std::size_t>(i)] = data.GetItemChecked()[i] == 1 ? 1 : 0;
  if (Source == &data && checked == Checked)
    return false;
  Source = &data;
  Checked = std::move(checked);
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
          Coordinates.insert(Coordinates.end(), {point.x, point.y, point.z});
          Radii.push_back(section.Diameters[static_cast<std::size_t>(p)] / 2.0);
          PointSegment.push_back(segment);
        }
      }
    }
  }
  PointList.assign(Coordinates.begin(), Coordinates.end());
  PointColorList.resize(PointList.size());
  BandsValid = false;
  return true;
}

void TMorphology3D::Color(const float *segmentColors) {
  float *out = PointColorList.data();
  for (const std::int32_t segment : PointSegment) {
    const float *color = segmentColors + 3 * static_cast<std::ptrdiff_t>(segment);
    *out++ = color[0];
    *out++ = color[1];
    *out++ = color[2];
  }
}

void TMorphology3D::BuildBands(const TMatrix4d &modelMatrix) {
  if (BandsValid && modelMatrix == BandMatrix)
    return;
  BandMatrix = modelMatrix;
  BandsValid = true;
  const TMatrix4d &m = modelMatrix;
  BandCornerList.resize(LineList.size() / 2 * 8);
  float *out = BandCornerList.data();
  // Only x and y of the turned points matter: the bands lie in the screen plane.
  const auto eyeX = [&](std::uint32_t i) {
    const double *p = &Coordinates[3 * static_cast<std::size_t>(i)];
    return m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12];
  };
  const auto eyeY = [&](std::uint32_t i) {
    const double *p = &Coordinates[3 * static_cast<std::size_t>(i)];
    return m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13];
  };
  for (std::size_t piece = 0; piece < LineList.size(); piece += 2) {
    const std::uint32_t a = LineList[piece];
    const std::uint32_t b = LineList[piece + 1];
    for (const TBandCorner &corner :
         DiameterBandCorners(eyeX(a), eyeY(a), eyeX(b), eyeY(b), Radii[a], Radii[b])) {
      *out++ = static_cast<float>(corner.X);
      *out++ = static_cast<float>(corner.Y);
    }
  }
}

void TMorphology3D::ColorBands(const float *segmentColors) {
  BandColorList.resize(PieceSegment.size() * 12);
  float *out = BandColorList.data();
  for (const std::int32_t segment : PieceSegment) {
    const float *color = segmentColors + 3 * static_cast<std::ptrdiff_t>(segment);
    for (int corner = 0; corner < 4; ++corner) {
      *out++ = color[0];
      *out++ = color[1];
      *out++ = color[2];
    }
  }
}
