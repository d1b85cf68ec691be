#pragma once

#include <QColor>

#include <array>

// A colour inside the views: red, green, blue in 0..1.
using TRgb = std::array<float, 3>;

// A window colour (bytes) as a view colour: each byte divided by 255.
inline TRgb ToRgb(const QColor &color) {
  return {static_cast<float>(color.red()) / 255.0f, static_cast<float>(color.green()) / 255.0f,
          static_cast<float>(color.blue()) / 255.0f};
}
