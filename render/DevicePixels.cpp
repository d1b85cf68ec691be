#include "render/DevicePixels.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>

int DeviceLength(int logical, double ratio) {
  return qRound(logical * ratio);
}

float DeviceLineWidth(float logical, double ratio) {
  if (!(logical > 0.0f))
    return 0.0f;
  return static_cast<float>(std::max(1, qRound(logical * ratio)));
}

int LogicalCeil(int device, double ratio) {
  if (ratio <= 0.0)
    return device;
  // A quotient a rounding error above a whole number is that number.
  return static_cast<int>(std::ceil(device / ratio - 1e-9));
}
