#include "views/ModelTransform3D.h"

#include <cmath>
#include <numbers>

namespace {

constexpr TMatrix4d Identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The rotation by angle degrees about a unit axis, as glRotated makes it.
TMatrix4d AxisRotation(double degrees, int axis) {
  const double radians = degrees * std::numbers::pi / 180.0;
  const double c = std::cos(radians);
  const double s = std::sin(radians);
  TMatrix4d m = Identity;
  const int a = (axis + 1) % 3;
  const int b = (axis + 2) % 3;
  m[a * 4 + a] = c;
  m[b * 4 + b] = c;
  m[a * 4 + b] = s;
  m[b * 4 + a] = -s;
  return m;
}

} // namespace

double ZoomedScale(double scale, double delta) {
  const double zoomed = scale + delta;
  return std::fabs(delta) >= zoomed ? std::fabs(delta) : zoomed;
}

void TModelTransform3D::Reset() {
  Translation = {0.0, 0.0};
  Angles = {0.0, 0.0, 0.0};
  Scales = {1.0, 1.0, 1.0};
}

void TModelTransform3D::SetTranslation(double x, double y) {
  Translation = {x, y};
}

void TModelTransform3D::Translate(double dx, double dy) {
  Translation[0] += dx;
  Translation[1] += dy;
}

void TModelTransform3D::SetRotation(double x, double y, double z) {
  Angles = {x, y, z};
}

void TModelTransform3D::Rotate(double dx, double dy, double dz) {
  Angles[0] += dx;
  Angles[1] += dy;
  Angles[2] += dz;
}

void TModelTransform3D::SetScale(double x, double y, double z) {
  Scales = {x, y, z};
}

void TModelTransform3D::Zoom(double dx, double dy, double dz) {
  Scales = {ZoomedScale(Scales[0], dx), ZoomedScale(Scales[1], dy), ZoomedScale(Scales[2], dz)};
}

TMatrix4d TModelTransform3D::RotationMatrix() const {
  return Multiply(Multiply(AxisRotation(Angles[2], 2), AxisRotation(Angles[1], 1)),
                  AxisRotation(Angles[0], 0));
}

TMatrix4d TModelTransform3D::Matrix() const {
  TMatrix4d m = RotationMatrix();
  for (int column = 0; column < 3; ++column)
    for (int row = 0; row < 3; ++row)
      m[column * 4 + row] *= Scales[static_cast<std::size_t>(column)];
  m[12] = Translation[0];
  m[13] = Translation[1];
  return m;
}

TMatrix4d Multiply(const TMatrix4d &a, const TMatrix4d &b) {
  TMatrix4d m{};
  for (int column = 0; column < 4; ++column)
    for (int row = 0; row < 4; ++row) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k)
        sum += a[k * 4 + row] * b[column * 4 + k];
      m[column * 4 + row] = sum;
    }
  return m;
}

std::array<double, 3> Transform(const TMatrix4d &m, double x, double y, double z) {
  return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
          m[2] * x + m[6] * y + m[10] * z + m[14]};
}
