#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TNeuronDataFile;

// One recorded value of an F(t) point. A point's samples are one array of
// these, drawn as it is: x = time, y = value.
struct TPointSample {
  double Time = 0.0;
  double Value = 0.0;
};
static_assert(sizeof(TPointSample) == 2 * sizeof(double), "samples are drawn as vertex pairs");

// Where a point lies: item, section within the item, segment within the section.
struct TPointCode {
  std::int32_t Item = 0;
  std::int32_t SectionInItem = 0;
  std::int32_t SegmentInSection = 0;
};

// One point chosen for the F(t) graphic.
struct TSelectedPointInfo {
  std::int32_t Item = 0;
  std::int32_t SectionInItem = 0;
  std::int32_t SegmentInSection = 0;
  // "section name(segment index)"
  std::string Name;
  // Colour of the curve as 0xRRGGBB; black when added.
  std::uint32_t Color = 0;
  // Recorded (time, value) pairs in time order (see TFtSampler), one
  // contiguous array.
  std::vector<TPointSample> Samples;
};

// The Control Window's list of F(t) points, in the order added. Entries keep
// their address while they are in the list.
using TSelectedPointList = std::vector<std::unique_ptr<TSelectedPointInfo>>;

// Reads a point code "item, section, segment": three decimal integers (an
// optional sign, digits, within 32 bits) separated by commas, blanks around
// each allowed. A number below 0 gives 0. A part that is not such an integer
// (a missing comma leaves one empty; a fourth number stays in the third part)
// gives nothing, and error becomes "'part' is not a valid integer value".
std::optional<TPointCode> ParsePointCode(const std::string &code, std::string &error);

// Appends a point with the code's address, the name, colour black and no
// samples, and returns it. A code that ParsePointCode rejects adds nothing,
// returns null and sets error.
TSelectedPointInfo *AddSelectedPoint(TSelectedPointList &points, const std::string &code,
                                     const std::string &name, std::string &error);

// The point's global segment index in the data, or -1 when its address lies
// outside the loaded model.
std::int32_t GlobalSegmentIndex(const TNeuronDataFile &data, const TSelectedPointInfo &point);
