#pragma once

#include <cstdint>
#include <string>

// The header of a simulation data file. The defaults are the empty values of
// an unloaded model.
struct TDataFileHeader {
  std::string Signature;
  double Reserved1 = 0.0;
  std::string Description;
  std::int32_t SectionCount = 0;
  // Values per frame: the segments of all sections.
  std::int32_t SegmentCount = 0;
  double Reserved2 = 1.0;
  // 1.0 or more: times are in seconds, below that in milliseconds.
  double TimeUnitFactor = 1.0;
  std::string VariableUnit;
  double VariableMin = 0.0;
  double VariableMax = 0.0;
};
