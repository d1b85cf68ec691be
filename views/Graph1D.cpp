#include "views/Graph1D.h"

#include "data/NeuronDataFile.h"

void TGraph1D::BeginStrip() {
  StripList.push_back({static_cast<std::int32_t>(VertexList.size()), 0});
}

void TGraph1D::Add(double x, TSource source) {
  VertexList.push_back({static_cast<float>(LaidOutMap(x)), 0.0f, 0.0f, 0.0f, 0.0f});
  Sources.push_back(source);
}

void TGraph1D::EndStrip() {
  TGraph1DStrip &strip = StripList.back();
  strip.Count = static_cast<std::int32_t>(VertexList.size()) - strip.First;
  for (std::int32_t i = strip.First; i + 1 < strip.First + strip.Count; ++i) {
    Lines.push_back(static_cast<std::uint32_t>(i));
    Lines.push_back(static_cast<std::uint32_t>(i + 1));
  }
}

bool TGraph1D::NeedsLayout(const TNeuronDataFile &data, const TAxisMap &x) const {
  if (LaidOut != &data || LaidOutMap != x || LaidOutSections != data.GetSections().size() ||
      LaidOutItems.size() != static_cast<std::size_t>(data.GetItemCount()))
    return true;
  for (std::int32_t i = 0; i < data.GetItemCount(); ++i)
    if (LaidOutItems[i] != data.GetItemChecked()[i])
      return true;
  return false;
}

void TGraph1D::Layout(const TNeuronDataFile &data, const TAxisMap &x) {
  VertexList.clear();
  Sources.clear();
  StripList.clear();
  Lines.clear();
  LaidOut = &data;
  LaidOutMap = x;
  LaidOutSections = data.GetSections().size();
  LaidOutItems.assign(static_cast<std::size_t>(data.GetItemCount()), 0);
  const std::vector<TDataFileSectionInfo> &sections = data.GetSections();
  const std::vector<std::int32_t> &itemFirst = data.GetItemFirstSection();
  const std::vector<std::int32_t> &sectionFirst = data.GetSectionFirstSegment();
  const auto *checked = data.GetItemChecked();
  const auto sectionCount = static_cast<std::int32_t>(sections.size());

  for (std::int32_t i = 0; i < data.GetItemCount(); ++i) {
    LaidOutItems[i] = checked[i];
    if (LaidOutItems[i] != 1)
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
      TSource y{k, -1, k};
      if (j != itemFirst[i] && section.Parent >= 0)
        y = {k, sectionFirst[section.Parent + 1] - 1, k};
      Add(s, y);
      for (std::int32_t l = 1; l < n; ++l) {
        y = {k + l - 1, k + l, k + l};
        Add(s + l * length, y);
      }

      Forks.clear();
      for (std::int32_t c : section.Children)
        if (c > j && c < sectionCount)
          Forks.push_back(c);
      const std::int32_t last = k + n - 1;
      const double end = s + n * length;
      if (Forks.empty() || section.Parent == -1) {
        Add(end, {y.A, y.B, last});
        EndStrip();
      } else if (Forks.size() == 1) {
        Add(end, {last, sectionFirst[Forks[0]], last});
        EndStrip();
      } else {
        const double middle = s + (n - 1) * length + length / 2.0;
        Add(middle, {last, -1, last});
        EndStrip();
        for (std::int32_t c : Forks) {
          BeginStrip();
          Add(middle, {last, -1, last});
          Add(end, {last, sectionFirst[c], last});
          EndStrip();
        }
      }
    }
  }
}

void TGraph1D::Fill(const double *values, const float *colors, const TAxisMap &y) {
  const std::size_t count = VertexList.size();
  for (std::size_t i = 0; i < count; ++i) {
    const TSource &source = Sources[i];
    // Halves first: the sum of two values near the largest double overflows.
    const double value =
        source.B < 0 ? values[source.A] : values[source.A] / 2.0 + values[source.B] / 2.0;
    const float *color = colors + 3 * static_cast<std::ptrdiff_t>(source.Color);
    TGraph1DVertex &vertex = VertexList[i];
    vertex.Y = static_cast<float>(y(value));
    vertex.R = color[0];
    vertex.G = color[1];
    vertex.B = color[2];
  }
}

void TGraph1D::Build(const TNeuronDataFile &data, const double *values, const float *colors,
                     const TAxisMap &x, const TAxisMap &y) {
  Layout(data, x);
  Fill(values, colors, y);
}
