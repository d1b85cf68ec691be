#include "render/AxisMap.h"

#include <algorithm>
#include <cmath>

double PowerOfTwoUnit(double half) {
  if (!(half > 0.0) || !std::isfinite(half))
    return 1.0;
  return std::ldexp(1.0, std::ilogb(half));
}

TAxisMap TAxisMap::For(double low, double high) {
  if (!std::isfinite(low) || !std::isfinite(high) ||
      std::max(std::fabs(low), std::fabs(high)) < FloatSafe)
    return {};
  TAxisMap map;
  map.Relative = true;
  // Halves first: the width of a range about zero may overflow.
  map.CentreValue = low / 2.0 + high / 2.0;
  map.UnitValue = PowerOfTwoUnit(std::fabs(high / 2.0 - low / 2.0));
  // Exact: the inverse of a power of two is one (2^-1023 is subnormal, but
  // still exact).
  map.InverseUnit = 1.0 / map.UnitValue;
  return map;
}
