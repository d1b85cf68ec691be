#include "views/Graph1D.h"

#include "data/NeuronDataFile.h"

void TGraph1D::BeginStrip() {
  StripList.push_back({static_cast<std::int32_t>(VertexList.size()), 0});
}

void TGraph1D::Add(double x, double y, const float *color) {
  VertexList.push_back(
      {static_cast<float>(x), static_cast<float>(y), color[0], color[1], color[2]});
}

void TGraph1D::EndStrip() {
  TGraph1DStrip &strip = StripList.back();
  strip.Count = static_cast<std::int32_t>(VertexList.size()) - strip.First;
}

void TGraph1D::Build(const TNeuronDataFile &data, const double *values, const float *colors) {
  VertexList.clear();
  StripList.clear();
  const std::vector<TDataFileSectionInfo> &sections = data.GetSections();
  const std::vector<std::int32_t> &itemFirst = data.GetItemFirstSection();
  const std::vector<std::int32_t> &sectionFirst = data.GetSectionFirstSegment();
  const auto *checked = data.GetItemChecked();
  const auto sectionCount = static_cast<std::int32_t>(sections.size());
  const double *v = values;
  auto color = [colors](std::int32_t segment) { return colors + 3 * segment; };

  for (std::int32_t i = 0; i < data.GetItemCount(); ++i) {
    if (checked[i] != 1)
      continue;
    for (std::int32_t j = itemFirst[i]; j < itemFirst[i + 1]; ++j) {
      const TDataFileSectionInfo &section = sections[j];
      const std::int32_t n = section.SegmentCount;
      if (n <= 0)
        continue;
      const double length = section.Length / n;
      const std::int32_t k = sectionFirst[j];
      const double s = section.StartDistance;

      BeginStrip();
      double y = v[k];
      if (j != itemFirst[i] && section.Parent >= 0)
        y = (v[k] + v[sectionFirst[section.Parent + 1] - 1]) / 2.0;
      Add(s, y, color(k));
      for (std::int32_t l = 1; l < n; ++l) {
        y = (v[k + l - 1] + v[k + l]) / 2.0;
        Add(s + l * length, y, color(k + l));
      }

      Forks.clear();
      for (std::int32_t c : section.Children)
        if (c > j && c < sectionCount)
          Forks.push_back(c);
      const std::int32_t last = k + n - 1;
      const double end = s + n * length;
      if (Forks.empty() || section.Parent == -1) {
        Add(end, y, color(last));
        EndStrip();
      } else if (Forks.size() == 1) {
        Add(end, (v[last] + v[sectionFirst[Forks[0]]]) / 2.0, color(last));
        EndStrip();
      } else {
        const double middle = s + (n - 1) * length + length / 2.0;
        Add(middle, v[last], color(last));
        EndStrip();
        for (std::int32_t c : Forks) {
          BeginStrip();
          Add(middle, v[last], color(last));
          Add(end, (v[last] + v[sectionFirst[c]]) / 2.0, color(last));
          EndStrip();
        }
      }
    }
  }
}
