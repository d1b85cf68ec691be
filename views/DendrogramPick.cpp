#include "views/DendrogramPick.h"

#include "data/NeuronDataFile.h"
#include "settings/NumberFormat.h"
#include "views/CurrentFrame.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The names of the records, in order.
std::vector<std::uint32_t> RecordNames(int hits, const std::uint32_t *buffer, std::size_t size) {
  std::vector<std::uint32_t> names;
  std::size_t at = 0;
  for (int record = 0; record < hits && at < size; ++record) {
    const std::uint32_t count = buffer[at];
    at += 3;
    for (std::uint32_t k = 0; k < count && at < size; ++k)
      names.push_back(buffer[at++]);
  }
  return names;
}

std::string Micrometres(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%0.3f um", value);
  return text;
}

} // namespace

TPickPass InterpretHits(int hits, const std::uint32_t *buffer, std::size_t size) {
  if (hits == 0)
    return {0, false, false};
  if (hits > 3)
    return {-1, false, true};
  if (hits == 1) {
    const std::vector<std::uint32_t> names = RecordNames(1, buffer, size);
    return {names.empty() ? 0 : static_cast<std::int32_t>(names.front()), true, false};
  }
  std::vector<std::uint32_t> kept;
  if (hits > 0)
    for (std::uint32_t name : RecordNames(hits, buffer, size))
      if (name != 0 && kept.size() < 2)
        kept.push_back(name);
  std::uint32_t result = 0;
  if (kept.size() == 1)
    result = kept.front();
  else if (kept.size() == 2)
    result = std::max(kept[0], kept[1]);
  return {static_cast<std::int32_t>(result), true, false};
}

std::optional<TPointQuery> QueryPoint(const TNeuronDataFile &data, std::int32_t mode,
                                      std::int32_t item, std::int32_t section, std::int32_t segment,
                                      const std::string &valueFormat) {
  if (item < 1 || item > data.GetItemCount() || section < 1 || segment < 1)
    return std::nullopt;
  const std::vector<std::int32_t> &itemFirst = data.GetItemFirstSection();
  const std::int32_t j = itemFirst[item - 1] + section - 1;
  if (j >= itemFirst[item])
    return std::nullopt;
  const TDataFileSectionInfo &s = data.GetSections()[j];
  const std::int32_t n = s.SegmentCount;
  if (segment > n)
    return std::nullopt;
  const std::int32_t k = segment;
  const double length = s.Length / n;
  const std::string address = s.Name + "(" + std::to_string(k - 1) + ")";

  switch (static_cast<TSelectPointMode>(mode)) {
  case TSelectPointMode::ShowCoordinates:
    return TPointQuery{"Point coordinates", address};
  case TSelectPointMode::AddToFt:
    return TPointQuery{address, std::to_string(item - 1) + ", " + std::to_string(section - 1) +
                                    ", " + std::to_string(k - 1)};
  case TSelectPointMode::DistanceLeft:
    return TPointQuery{"Distance from root (left)",
                       Micrometres(s.StartDistance + (k - 1) * length)};
  case TSelectPointMode::DistanceRight:
    return TPointQuery{"Distance from root (right)", Micrometres(s.StartDistance + k * length)};
  case TSelectPointMode::Diameter: {
    const std::vector<std::int32_t> &first = s.SegmentFirstPoint;
    const auto points = static_cast<std::int32_t>(s.Diameters.size());
    if (static_cast<std::int32_t>(first.size()) <= k || first[k - 1] < 0 ||
        first[k - 1] >= points || first[k] < 1 || first[k] > points)
      return std::nullopt;
    const double left = s.Diameters[first[k - 1]];
    const double right = s.Diameters[first[k] - 1];
    if (left == right)
      return TPointQuery{"Diameter(s)", Micrometres(left)};
    char text[96];
    std::snprintf(text, sizeof text, "%0.3f, %0.3f um", left, right);
    return TPointQuery{"Diameter(s)", text};
  }
  case TSelectPointMode::Value: {
    const std::optional<TCurrentFrame> frame = FetchCurrentFrame(data);
    if (!frame)
      return std::nullopt;
    const double value = frame->Values[data.GetSectionFirstSegment()[j] + k - 1];
    return TPointQuery{"Value of variable",
                       FormatFloat(valueFormat, value) + " " + data.GetVariableUnit()};
  }
  }
  return std::nullopt;
}
