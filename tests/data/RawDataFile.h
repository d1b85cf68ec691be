#pragma once

#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

// Builds the bytes of a simulation data file field by field, so that tests can
// also write files that break the format on purpose. Counts are doubles as in
// the file; an unset count is derived from the content.
struct TRawSection {
  std::string Name = "dend";
  // 1-based parent, 0 for none.
  double Parent = 0.0;
  std::optional<double> ChildCount;
  // Unset: the path length along the points.
  std::optional<double> Length;
  double SegmentCount = 1.0;
  std::optional<double> PointCount;
  // x, y, z, diameter.
  std::vector<std::array<double, 4>> Points{{0.0, 0.0, 0.0, 1.0}, {1.0, 0.0, 0.0, 1.0}};
};

struct TRawDataFile {
  std::string Signature = "MTSD";
  double Reserved1 = 0.0;
  std::string Description = "test run";
  std::optional<double> SectionCount;
  std::optional<double> SegmentCount;
  double Reserved2 = 1.0;
  double TimeUnitFactor = 0.001;
  std::string VariableUnit = "mV";
  double VariableMin = -80.0;
  double VariableMax = 40.0;
  std::vector<TRawSection> Sections{TRawSection{}};
  // Each frame: the time, then one value per segment.
  std::vector<std::vector<double>> Frames{{0.0, 1.0}};
  // Bytes after the frames.
  std::string Tail;

  static void Put(std::string &out, double value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof bytes);
  }

  int SegmentTotal() const {
    double total = 0.0;
    for (const TRawSection &s : Sections)
      total += s.SegmentCount;
    return static_cast<int>(total);
  }

  // The header and the sections only.
  std::string Morphology() const {
    std::string out = Signature + "\n";
    Put(out, Reserved1);
    out += Description + "\n";
    Put(out, SectionCount.value_or(static_cast<double>(Sections.size())));
    Put(out, SegmentCount.value_or(SegmentTotal()));
    Put(out, Reserved2);
    Put(out, TimeUnitFactor);
    out += VariableUnit + "\n";
    Put(out, VariableMin);
    Put(out, VariableMax);
    for (std::size_t k = 0; k < Sections.size(); ++k) {
      const TRawSection &s = Sections[k];
      out += s.Name + "\n";
      Put(out, s.Parent);
      double children = 0.0;
      for (const TRawSection &other : Sections)
        if (other.Parent == static_cast<double>(k + 1))
          children += 1.0;
      Put(out, s.ChildCount.value_or(children));
      Put(out, 0.0);
      Put(out, 0.0);
      double length = 0.0;
      for (std::size_t i = 1; i < s.Points.size(); ++i) {
        double sum = 0.0;
        for (int a = 0; a < 3; ++a)
          sum += (s.Points[i][a] - s.Points[i - 1][a]) * (s.Points[i][a] - s.Points[i - 1][a]);
        length += std::sqrt(sum);
      }
      Put(out, s.Length.value_or(length));
      Put(out, s.SegmentCount);
      Put(out, s.PointCount.value_or(static_cast<double>(s.Points.size())));
      for (const auto &point : s.Points)
        for (double v : point)
          Put(out, v);
    }
    return out;
  }

  std::string Bytes() const {
    std::string out = Morphology();
    for (const auto &frame : Frames)
      for (double v : frame)
        Put(out, v);
    return out + Tail;
  }
};
