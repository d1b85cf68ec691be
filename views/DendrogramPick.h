#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class TNeuronDataFile;

// What one selection pass found: the name picked (0 when nothing named was
// hit) and whether the next pass may follow. Ambiguous is set when more than
// three records came back: the whole selection is then (-1, -1, -1).
struct TPickPass {
  std::int32_t Result = 0;
  bool Succeeded = false;
  bool Ambiguous = false;
};

// Reads the hit count of glRenderMode(GL_RENDER) and the selection buffer
// (records of name count, two depths, the names), as one pass of the
// dendrogram picking: no hit fails with 0; one hit gives its name, also 0;
// two or three hits, or an overflow (a negative count, whose records are not
// read), give the one non-zero name among the first two, else the larger of
// the first two, else 0; more than three hits are ambiguous. Records are read
// only as far as size allows.
TPickPass InterpretHits(int hits, const std::uint32_t *buffer, std::size_t size);

// The answer to a click in select point mode 0 to 5 (see TSelectPointMode).
struct TPointQuery {
  std::string Title;
  std::string Value;
};

// The modes of a click on the dendrogram.
enum class TSelectPointMode : std::int32_t {
  ShowCoordinates = 0,
  AddToFt = 1,
  DistanceLeft = 2,
  DistanceRight = 3,
  Diameter = 4,
  Value = 5,
};

// The title and value texts for the picked segment, all three indices 1-based
// (item, section within the item, segment within the section). Mode 5 reads
// the current frame under the data's frame lock and formats the value with
// valueFormat (through FormatFloat, as the Control Window's data range) and
// the unit. Nothing
// when the address lies outside the model or the mode is unknown.
std::optional<TPointQuery> QueryPoint(const TNeuronDataFile &data, std::int32_t mode,
                                      std::int32_t item, std::int32_t section, std::int32_t segment,
                                      const std::string &valueFormat);
