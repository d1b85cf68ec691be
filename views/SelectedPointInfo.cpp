#include "views/SelectedPointInfo.h"

#include "data/NeuronDataFile.h"

#include <charconv>

namespace {

std::string Trimmed(const std::string &text) {
  const char *blanks = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool ToInteger(const std::string &part, std::int32_t &value, std::string &error) {
  const char *begin = part.data();
  const char *end = begin + part.size();
  // from_chars takes "-" but not "+".
  if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-')
    ++begin;
  const auto [rest, code] = std::from_chars(begin, end, value);
  if (part.empty() || code != std::errc() || rest != end) {
    error = "'" + part + "' is not a valid integer value";
    return false;
  }
  return true;
}

// Splits at the first comma; without one everything is the head and the rest
// is empty.
void SplitAtComma(const std::string &text, std::string &head, std::string &rest) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) {
    head.clear();
    rest = text;
    return;
  }
  head = text.substr(0, comma);
  rest = text.substr(comma + 1);
}

} // namespace

std::optional<TPointCode> ParsePointCode(const std::string &code, std::string &error) {
  std::string first, rest, second, third;
  SplitAtComma(code, first, rest);
  SplitAtComma(Trimmed(rest), second, third);
  std::int32_t numbers[3] = {0, 0, 0};
  const std::string parts[3] = {Trimmed(first), Trimmed(second), Trimmed(third)};
  for (int i = 0; i < 3; ++i) {
    if (!ToInteger(parts[i], numbers[i], error))
      return std::nullopt;
    if (numbers[i] < 0)
      numbers[i] = 0;
  }
  return TPointCode{numbers[0], numbers[1], numbers[2]};
}

TSelectedPointInfo *AddSelectedPoint(TSelectedPointList &points, const std::string &code,
                                     const std::string &name, std::string &error) {
  const std::optional<TPointCode> address = ParsePointCode(code, error);
  if (!address)
    return nullptr;
  auto point = std::make_unique<TSelectedPointInfo>();
  point->Item = address->Item;
  point->SectionInItem = address->SectionInItem;
  point->SegmentInSection = address->SegmentInSection;
  point->Name = name;
  points.push_back(std::move(point));
  return points.back().get();
}

std::int32_t GlobalSegmentIndex(const TNeuronDataFile &data, const TSelectedPointInfo &point) {
  const std::vector<std::int32_t> &itemFirst = data.GetItemFirstSection();
  const std::vector<std::int32_t> &sectionFirst = data.GetSectionFirstSegment();
  if (point.Item < 0 || point.Item >= data.GetItemCount() || point.SectionInItem < 0 ||
      point.SegmentInSection < 0)
    return -1;
  const std::int64_t section =
      static_cast<std::int64_t>(itemFirst[static_cast<size_t>(point.Item)]) + point.SectionInItem;
  if (section >= itemFirst[static_cast<size_t>(point.Item) + 1])
    return -1;
  const std::int64_t segment =
      static_cast<std::int64_t>(sectionFirst[static_cast<size_t>(section)]) +
      point.SegmentInSection;
  if (segment >= sectionFirst[static_cast<size_t>(section) + 1])
    return -1;
  return static_cast<std::int32_t>(segment);
}
