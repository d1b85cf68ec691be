#include "views/Dendrogram.h"

#include "data/NeuronDataFile.h"

#include <algorithm>

namespace {

bool IsChecked(const TNeuronDataFile &data, std::int32_t item) {
  return data.GetItemChecked()[item].load(std::memory_order_relaxed) == 1;
}

} // namespace

TDendrogramVertex TDendrogram::Vertex(double x, double y) const {
  return {static_cast<float>(XMap(x)), static_cast<float>(YMap(y))};
}

double TDendrogram::TotalHeight(const TNeuronDataFile &data, double itemSpacing,
                                double levelSpacing) {
  const std::vector<TDataFileSectionInfo> &sections = data.GetSections();
  const std::vector<std::int32_t> &itemFirst = data.GetItemFirstSection();
  double height = 0.0;
  for (std::int32_t i = 0; i < data.GetItemCount(); ++i) {
    if (!IsChecked(data, i))
      continue;
    std::int32_t rows = 0;
    for (std::int32_t j = itemFirst[i]; j < itemFirst[i + 1]; ++j)
      rows = std::max(rows, sections[j].LeafIndex);
    height += itemSpacing + levelSpacing * rows;
  }
  return height;
}

double TDendrogram::DistanceAxisLength(const TNeuronDataFile &data) {
  return std::max(data.GetMaxDistance(), 100.0);
}

void TDendrogram::Build(const TNeuronDataFile &data, double itemSpacing, double levelSpacing,
                        const TAxisMap &xMap, const TAxisMap &yMap) {
  Data = &data;
  ItemSpacing = itemSpacing;
  LevelSpacing = levelSpacing;
  XMap = xMap;
  YMap = yMap;
  Height = TotalHeight(data, itemSpacing, levelSpacing);
  Checked.assign(static_cast<std::size_t>(data.GetItemCount()), 0);
  VertexList.clear();
  ConnectionList.clear();
  LineList.clear();
  SectionList.clear();
  ItemList.clear();

  const std::vector<TDataFileSectionInfo> &sections = data.GetSections();
  const std::vector<std::int32_t> &itemFirst = data.GetItemFirstSection();
  const std::vector<std::int32_t> &sectionFirst = data.GetSectionFirstSegment();
  Placed.assign(sections.size(), -1);

  const TAxisMap distances = XMap;
  double y = Height;
  for (std::int32_t i = 0; i < data.GetItemCount(); ++i) {
    if (!IsChecked(data, i))
      continue;
    Checked[static_cast<std::size_t>(i)] = 1;
    TDendrogramItem &placedItem = ItemList.emplace_back();
    placedItem.Item = i;
    placedItem.First = static_cast<std::int32_t>(SectionList.size());
    placedItem.FirstLine = static_cast<std::int32_t>(LineList.size());
    placedItem.FirstConnection = static_cast<std::int32_t>(ConnectionList.size());
    std::int32_t row = 0;
    for (std::int32_t j = itemFirst[i]; j < itemFirst[i + 1]; ++j) {
      const TDataFileSectionInfo &section = sections[j];
      const double x = section.StartDistance;
      TDendrogramSection placed;
      placed.Section = j;
      placed.IndexInItem = j - itemFirst[i];
      if (section.LeafIndex != row) {
        y -= levelSpacing;
        const std::int32_t parentRow = section.Parent >= 0 ? sections[section.Parent].LeafIndex : 0;
        placed.Connection = static_cast<std::int32_t>(ConnectionList.size() / 2);
        ConnectionList.push_back(Vertex(x, y + (section.LeafIndex - parentRow) * levelSpacing));
        ConnectionList.push_back(Vertex(x, y));
        row = section.LeafIndex;
      }
      const std::int32_t n = section.SegmentCount;
      placed.FirstVertex = static_cast<std::int32_t>(VertexList.size());
      placed.SegmentCount = n;
      placed.FirstSegment = sectionFirst[j];
      placed.Y = y;
      if (n > 0) {
        const double length = section.Length / n;
        // The row's height once, the distances through a local copy of the
        // map: the compiler cannot tell the vertices from the member.
        const float row = Vertex(x, y).Y;
        for (std::int32_t k = 0; k < n; ++k)
          VertexList.push_back({static_cast<float>(distances(x + k * length)), row});
        VertexList.push_back({static_cast<float>(distances(x + section.Length)), row});
        for (std::int32_t k = placed.FirstVertex; k < placed.FirstVertex + n; ++k)
          LineList.insert(LineList.end(),
                          {static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(k) + 1});
      }
      Placed[static_cast<std::size_t>(j)] = static_cast<std::int32_t>(SectionList.size());
      SectionList.push_back(placed);
    }
    placedItem.Count = static_cast<std::int32_t>(SectionList.size()) - placedItem.First;
    placedItem.LineCount = static_cast<std::int32_t>(LineList.size()) - placedItem.FirstLine;
    placedItem.ConnectionCount =
        static_cast<std::int32_t>(ConnectionList.size()) - placedItem.FirstConnection;
    y -= itemSpacing;
  }
}

bool TDendrogram::Update(const TNeuronDataFile &data, double itemSpacing, double levelSpacing,
                         const TAxisMap &x, const TAxisMap &y) {
  bool same = Data == &data && ItemSpacing == itemSpacing && LevelSpacing == levelSpacing &&
              XMap == x && YMap == y &&
              Checked.size() == static_cast<std::size_t>(data.GetItemCount()) &&
              Placed.size() == data.GetSections().size();
  for (std::int32_t i = 0; same && i < data.GetItemCount(); ++i)
    same = (Checked[static_cast<std::size_t>(i)] == 1) == IsChecked(data, i);
  if (same)
    return false;
  Build(data, itemSpacing, levelSpacing, x, y);
  return true;
}

const TDendrogramSection *TDendrogram::FindSection(std::int32_t section) const {
  if (section < 0 || static_cast<std::size_t>(section) >= Placed.size() ||
      Placed[static_cast<std::size_t>(section)] < 0)
    return nullptr;
  return &SectionList[static_cast<std::size_t>(Placed[static_cast<std::size_t>(section)])];
}

std::optional<TDendrogramVertex> TDendrogram::SegmentMiddle(std::int32_t item,
                                                            std::int32_t sectionInItem,
                                                            std::int32_t segment) const {
  if (Data == nullptr || item < 0 || item >= static_cast<std::int32_t>(Checked.size()) ||
      Checked[static_cast<std::size_t>(item)] != 1 || sectionInItem < 0 || segment < 0)
    return std::nullopt;
  const std::vector<std::int32_t> &itemFirst = Data->GetItemFirstSection();
  const std::int32_t j = itemFirst[item] + sectionInItem;
  if (j >= itemFirst[item + 1])
    return std::nullopt;
  const TDendrogramSection *placed = FindSection(j);
  if (placed == nullptr || segment >= placed->SegmentCount)
    return std::nullopt;
  const TDataFileSectionInfo &section = Data->GetSections()[j];
  const double length = section.Length / placed->SegmentCount;
  return Vertex(section.StartDistance + segment * length + length / 2.0, placed->Y);
}
