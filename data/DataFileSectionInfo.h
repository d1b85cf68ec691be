#pragma once

#include "data/Point3Dd.h"

#include <cstdint>
#include <string>
#include <vector>

// One unbranched section of the neuron, its points resampled into segments.
struct TDataFileSectionInfo {
  std::string Name;
  // 0-based index of the parent section, always an earlier one; -1 for none.
  std::int32_t Parent = -1;
  // Number of entries of Children.
  std::int32_t ChildCount = 0;
  // Child sections in file order.
  std::vector<std::int32_t> Children;
  double Reserved1 = 0.0;
  double Reserved2 = 0.0;
  // Path length along the points.
  double Length = 0.0;
  // Path distance from the start of the item's first section to the start of
  // this one.
  double StartDistance = 0.0;
  // Row of the section among the leaf rows of its item (dendrogram order).
  std::int32_t LeafIndex = 0;
  std::int32_t SegmentCount = 0;
  std::int32_t PointCount = 0;
  // Segment k owns points SegmentFirstPoint[k] .. SegmentFirstPoint[k + 1] - 1;
  // from the second segment on, its first point repeats the previous
  // segment's last. At least two entries.
  std::vector<std::int32_t> SegmentFirstPoint;
  std::vector<TPoint3Dd> Points;
  std::vector<double> Diameters;
};
