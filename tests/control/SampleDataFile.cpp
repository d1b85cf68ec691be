#include "SampleDataFile.h"

#include "data/NeuronDataWriter.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

// The sample morphology; value(t, k) gives segment k's value at time t.
bool WriteMorphology(const std::string &path, double variableMin, double variableMax,
                     const std::vector<double> &times,
                     const std::function<double(double, size_t)> &value) {
  using TSection = TNeuronDataWriter::TSection;
  TNeuronDataWriter::THeader header;
  header.Description = "sample";
  header.VariableMin = variableMin;
  header.VariableMax = variableMax;
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
      values[k] = value(t, k);
    if (!writer.WriteFrame(t, values))
      return false;
  }
  return writer.Close();
}

} // namespace

bool WriteSampleDataFile(const std::string &path, const std::vector<double> &times) {
  return WriteMorphology(path, 0.0, 40.0, times,
                         [](double t, size_t k) { return t + static_cast<double>(k); });
}

bool WriteFlatDataFile(const std::string &path, double value, const std::vector<double> &times) {
  return WriteMorphology(path, value, value, times, [value](double, size_t) { return value; });
}

bool WriteRangeDataFile(const std::string &path, double minimum, double maximum,
                        const std::vector<double> &times) {
  const double top = std::numeric_limits<double>::max();
  const double low = std::clamp(minimum, -top, top);
  const double high = std::clamp(maximum, -top, top);
  // In halves, as the width may overflow.
  return WriteMorphology(path, minimum, maximum, times, [low, high](double, size_t k) {
    return 2.0 * (low / 2.0 + (high / 2.0 - low / 2.0) / 6.0 * (static_cast<double>(k) + 0.5));
  });
}

std::vector<double> FrameTimes(double first, double step, double last) {
  std::vector<double> times;
  const long count = std::lround((last - first) / step);
  for (long i = 0; i <= count; ++i)
    times.push_back(first + step * static_cast<double>(i));
  return times;
}
