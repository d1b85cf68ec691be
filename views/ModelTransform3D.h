#pragma once

#include <array>

// A 4 x 4 matrix in OpenGL's column-major order.
using TMatrix4d = std::array<double, 16>;

// The scale after adding delta, never below the size of the step: when |delta|
// is at least the new scale, the scale becomes |delta|. No upper bound.
double ZoomedScale(double scale, double delta);

// Where the model is shown: a translation in the screen plane, three rotations
// (degrees, counter-clockwise seen from the positive end of the axis) and a
// scale. A model point is scaled, turned about X, then Y, then Z, and moved
// last, so the translation moves the image by the same model distance along
// the screen whatever the rotation and zoom. The rotations turn about the
// model's origin.
class TModelTransform3D {
public:
  // Translation 0, 0; rotations 0, 0, 0; scale 1, 1, 1.
  void Reset();

  void SetTranslation(double x, double y);
  void Translate(double dx, double dy);
  void SetRotation(double x, double y, double z);
  void Rotate(double dx, double dy, double dz);
  void SetScale(double x, double y, double z);
  // Each scale by ZoomedScale.
  void Zoom(double dx, double dy, double dz);

  double TranslationX() const { return Translation[0]; }
  double TranslationY() const { return Translation[1]; }
  const std::array<double, 3> &Rotation() const { return Angles; }
  const std::array<double, 3> &Scale() const { return Scales; }

  // Rotation about Z, then Y, then X (as applied to the matrix; a point is
  // turned about X first).
  TMatrix4d RotationMatrix() const;
  // Translation x rotation x scale.
  TMatrix4d Matrix() const;

private:
  std::array<double, 2> Translation{0.0, 0.0};
  std::array<double, 3> Angles{0.0, 0.0, 0.0};
  std::array<double, 3> Scales{1.0, 1.0, 1.0};
};

// a x b.
TMatrix4d Multiply(const TMatrix4d &a, const TMatrix4d &b);
// m applied to the point (x, y, z, 1).
std::array<double, 3> Transform(const TMatrix4d &m, double x, double y, double z);
