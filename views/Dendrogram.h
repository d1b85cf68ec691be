#pragma once

#include "render/AxisMap.h"

#include <cstdint>
#include <optional>
#include <vector>

class TNeuronDataFile;

// A point of the dendrogram in drawing units (distance, height). Single
// precision, as OpenGL draws it, so that the vertices go to it unconverted.
struct TDendrogramVertex {
  float X = 0.0f;
  float Y = 0.0f;
};

// One section as laid out: a horizontal strip of SegmentCount + 1 vertices
// from Vertices()[FirstVertex], the starts of its segments and its end.
struct TDendrogramSection {
  // Global section index and its position within its item.
  std::int32_t Section = 0;
  std::int32_t IndexInItem = 0;
  std::int32_t FirstVertex = 0;
  std::int32_t SegmentCount = 0;
  // Global index of its first segment (its colours and values).
  std::int32_t FirstSegment = 0;
  // Its connection line (two vertices from ConnectionVertices()[2 * index]),
  // -1 when it continues the row before it.
  std::int32_t Connection = -1;
  // Its height, unmapped.
  double Y = 0.0;
};

// One checked item: its sections Sections()[First] to [First + Count - 1],
// the segments of all of them as separate lines (index pairs into Vertices()
// from SegmentLineIndices()[FirstLine], LineCount indices) and its connection lines
// (ConnectionCount vertices from ConnectionVertices()[FirstConnection]).
struct TDendrogramItem {
  std::int32_t Item = 0;
  std::int32_t First = 0;
  std::int32_t Count = 0;
  std::int32_t FirstLine = 0;
  std::int32_t LineCount = 0;
  std::int32_t FirstConnection = 0;
  std::int32_t ConnectionCount = 0;
};

// The dendrogram of the checked items: every section a horizontal line from
// its start distance to its end, the rows of an item one level spacing apart
// from the top down, a vertical connection line from each new row up to the
// row of the section's parent, the checked items one item spacing apart.
// y = TotalHeight at the top row of the first checked item and 0 one item
// spacing below the last row.
//
// Drawing, point markers and picking all read their coordinates from here, so
// a section lies at the same place for all of them. The layout is rebuilt only
// when the checked items (or the model) change.
class TDendrogram {
public:
  // Sum over the checked items of item spacing + level spacing x the item's
  // largest row (0 at least). 0 with no item checked.
  static double TotalHeight(const TNeuronDataFile &data, double itemSpacing, double levelSpacing);

  // The length of the distance axis: the data's GetMaxDistance, at least the
  // 100 um of the scale bar.
  static double DistanceAxisLength(const TNeuronDataFile &data);

  // Lays out the data's checked items anew, distances mapped to drawing
  // units by x and heights by y.
  void Build(const TNeuronDataFile &data, double itemSpacing, double levelSpacing,
             const TAxisMap &x = {}, const TAxisMap &y = {});
  // Builds the layout unless it already stands for this data, these spacings
  // and maps, and the data's current check marks. True when it was rebuilt.
  bool Update(const TNeuronDataFile &data, double itemSpacing, double levelSpacing,
              const TAxisMap &x = {}, const TAxisMap &y = {});

  double GetTotalHeight() const { return Height; }
  bool IsEmpty() const { return SectionList.empty(); }

  const std::vector<TDendrogramVertex> &Vertices() const { return VertexList; }
  const std::vector<TDendrogramVertex> &ConnectionVertices() const { return ConnectionList; }
  // Every segment as its own line (a pair of indices into Vertices()), section
  // by section in the order of Sections(): the whole dendrogram, or a whole
  // item, in one call. A segment's line shares its vertices with the
  // section's other lines, which spares the drawing half the vertices.
  const std::vector<std::uint32_t> &SegmentLineIndices() const { return LineList; }
  const std::vector<TDendrogramSection> &Sections() const { return SectionList; }
  const std::vector<TDendrogramItem> &Items() const { return ItemList; }

  // The laid-out section of global section index, null when its item is not
  // checked or the index lies outside the model.
  const TDendrogramSection *FindSection(std::int32_t section) const;
  // The middle of a segment addressed as an F(t) point is (item, section
  // within the item, segment within the section); nothing when its item is
  // unchecked or the address lies outside the item.
  std::optional<TDendrogramVertex> SegmentMiddle(std::int32_t item, std::int32_t sectionInItem,
                                                 std::int32_t segment) const;

private:
  // A point in drawing units.
  TDendrogramVertex Vertex(double x, double y) const;

  const TNeuronDataFile *Data = nullptr;
  double ItemSpacing = 0.0;
  double LevelSpacing = 0.0;
  TAxisMap XMap;
  TAxisMap YMap;
  double Height = 0.0;
  std::vector<std::uint8_t> Checked;
  std::vector<TDendrogramVertex> VertexList;
  std::vector<TDendrogramVertex> ConnectionList;
  std::vector<std::uint32_t> LineList;
  std::vector<TDendrogramSection> SectionList;
  std::vector<TDendrogramItem> ItemList;
  // Per global section: its index in SectionList, or -1.
  std::vector<std::int32_t> Placed;
};
