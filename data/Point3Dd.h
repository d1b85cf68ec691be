#pragma once

// A point of a section's polyline, in the unit of the file's coordinates.
struct TPoint3Dd {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};
