#pragma once

// How the coordinates of one axis become the coordinates handed to OpenGL,
// which holds them as floats. A range within FloatSafe of zero is drawn as
// given, so ordinary pictures keep every bit. A range reaching beyond it
// would overflow a float (1e300) or lose every digit on the way (1e308 less
// -1e308 is no double): it is drawn relative to its centre, in a power-of-two
// unit of its half-width, which keeps the division exact and the range within
// +-2 units.
class TAxisMap {
public:
  static constexpr double FloatSafe = 1e30;
  // How far from the centre a mapped coordinate may lie, in units: a line to
  // a value far outside the range keeps its direction within the range to
  // well under a pixel, and no float overflows.
  static constexpr double Reach = 1048576.0;

  // The identity.
  TAxisMap() = default;
  // The map for a range from low to high; the identity for a range within
  // FloatSafe, and for one with an end that is not a number.
  static TAxisMap For(double low, double high);

  bool IsRelative() const { return Relative; }
  double Centre() const { return CentreValue; }
  double Unit() const { return UnitValue; }

  // A coordinate in drawing units.
  double operator()(double value) const {
    if (!Relative)
      return value;
    const double mapped = (value - CentreValue) * InverseUnit;
    return mapped > Reach ? Reach : mapped < -Reach ? -Reach : mapped;
  }
  // A length in drawing units in data units.
  double DataLength(double length) const { return Relative ? length * UnitValue : length; }

  bool operator==(const TAxisMap &) const = default;

private:
  bool Relative = false;
  double CentreValue = 0.0;
  double UnitValue = 1.0;
  double InverseUnit = 1.0;
};

// The largest power of two not above a positive finite half-width; 1 for
// anything else.
double PowerOfTwoUnit(double half);
