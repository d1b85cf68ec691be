#include "SampleDataFile.h"

#include "data/NeuronDataWriter.h"

#include <cmath>

bool WriteSampleDataFile(const std::string &path, const std::vector<double> &times) {
  using TSection = TNeuronDataWriter::TSection;
  TNeuronDataWriter::THeader header;
  header.Description = "sample";
  header.VariableMin = 0.0;
  header.VariableMax = 40.0;
  TSection soma{
      .Name = "soma", .Length = 10.0, .SegmentCount = 1, .Points = {{0, 0, 0, 10}, {10, 0, 0, 10}}};
  TSection trunk{.Name = "dend[0]",
                 .Parent = 0,
                 .Length = 20.0,
                 .SegmentCount = 2,
                 .Points = {{10, 0, 0, 2}, {30, 0, 0, 2}}};
  TSection branch{.Name = "dend[1]",
                  .Parent = 1,
                  .Length = 30.0,
                  .SegmentCount = 3,
                  .Points = {{30, 0, 0, 1}, {60, 0, 0, 1}}};
  TNeuronDataWriter writer;
  if (!writer.Create(path, header, {soma, trunk, branch}))
    return false;
  std::vector<double> values(6);
  for (double t : times) {
    for (size_t k = 0; k < values.size(); ++k)
      values[k] = t + static_cast<double>(k);
    if (!writer.WriteFrame(t, values))
      return false;
  }
  return writer.Close();
}

std::vector<double> FrameTimes(double first, double step, double last) {
  std::vector<double> times;
  const long count = std::lround((last - first) / step);
  for (long i = 0; i <= count; ++i)
    times.push_back(first + step * static_cast<double>(i));
  return times;
}
