#include "data/NeuronDataWriter.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <sys/types.h>

static_assert(std::endian::native == std::endian::little,
              "data files hold little-endian doubles; add byte swapping for this host");

namespace {

constexpr size_t MaxWordLength = 255;
// The reader takes a line of at most 255 characters including its line feed.
constexpr size_t MaxDescriptionLength = 254;

bool IsWord(const std::string &word) {
  if (word.empty() || word.size() > MaxWordLength)
    return false;
  for (unsigned char c : word)
    if (c == '\0' || IsBlank(c))
      return false;
  return true;
}

bool IsLine(const std::string &line) {
  return line.size() <= MaxDescriptionLength && line.find('\n') == std::string::npos &&
         line.find('\0') == std::string::npos;
}

unsigned char FirstByte(double v) {
  return static_cast<unsigned char>(std::bit_cast<std::uint64_t>(v));
}

} // namespace

TNeuronDataWriter::TNeuronDataWriter() = default;

TNeuronDataWriter::~TNeuronDataWriter() = default;

double TNeuronDataWriter::AfterWord(double v) {
  if (!std::isfinite(v))
    return v;
  // Each step changes the lowest byte by one, so a few steps always leave the
  // range 0x09..0x0D and 0x20.
  while (IsBlank(FirstByte(v)))
    v = std::nextafter(v, -std::numeric_limits<double>::infinity());
  return v;
}

double TNeuronDataWriter::PathLength(const std::vector<TPoint> &points) {
  double length = 0.0;
  for (size_t i = 1; i < points.size(); ++i) {
    const TPoint &a = points[i - 1];
    const TPoint &b = points[i];
    length += std::sqrt((b.X - a.X) * (b.X - a.X) + (b.Y - a.Y) * (b.Y - a.Y) +
                        (b.Z - a.Z) * (b.Z - a.Z));
  }
  return length;
}

bool TNeuronDataWriter::Fail(const std::string &message) {
  Error = message;
  return false;
}

bool TNeuronDataWriter::WriteDoubles(const double *values, size_t count) {
  return std::fwrite(values, sizeof(double), count, File.get()) == count;
}

bool TNeuronDataWriter::WriteText(const std::string &text) {
  return std::fwrite(text.data(), 1, text.size(), File.get()) == text.size();
}

bool TNeuronDataWriter::Create(const std::string &fileName, const THeader &header,
                               const std::vector<TSection> &sections) {
  if (File)
    return Fail("a file is already open");
  if (!IsWord(header.Signature))
    return Fail("the signature must be one word of 1 to 255 characters");
  if (!IsWord(header.VariableUnit))
    return Fail("the variable unit must be one word of 1 to 255 characters");
  if (!IsLine(header.Description))
    return Fail("the description must be one line of at most 254 characters");
  if (!std::isfinite(header.Reserved1) || !std::isfinite(header.Reserved2) ||
      !std::isfinite(header.TimeUnitFactor) || !std::isfinite(header.VariableMin) ||
      !std::isfinite(header.VariableMax))
    return Fail("the header's numbers must be finite");
  if (sections.empty())
    return Fail("a model needs at least one section");
  if (sections.size() > static_cast<size_t>(std::numeric_limits<std::int32_t>::max()))
    return Fail("too many sections");

  std::int64_t segmentCount = 0;
  std::vector<int> childCounts(sections.size(), 0);
  for (size_t k = 0; k < sections.size(); ++k) {
    const TSection &section = sections[k];
    const std::string where = "section " + std::to_string(k) + ": ";
    if (!IsWord(section.Name))
      return Fail(where + "the name must be one word of 1 to 255 characters");
    if (section.Parent < -1 || section.Parent >= static_cast<std::int64_t>(k))
      return Fail(where + "the parent must be an earlier section or -1");
    if (section.SegmentCount < 1)
      return Fail(where + "needs at least one segment");
    if (section.Points.empty())
      return Fail(where + "needs at least one point");
    if (section.Points.size() > static_cast<size_t>(std::numeric_limits<std::int32_t>::max()))
      return Fail(where + "too many points");
    if (!std::isfinite(section.Length) || section.Length < 0.0)
      return Fail(where + "the length must be finite and not negative");
    if (!std::isfinite(section.Reserved1) || !std::isfinite(section.Reserved2))
      return Fail(where + "the reserved numbers must be finite");
    for (const TPoint &p : section.Points)
      if (!std::isfinite(p.X) || !std::isfinite(p.Y) || !std::isfinite(p.Z) ||
          !std::isfinite(p.Diameter))
        return Fail(where + "the points must be finite");
    segmentCount += section.SegmentCount;
    if (segmentCount > std::numeric_limits<std::int32_t>::max())
      return Fail("too many segments");
    if (section.Parent >= 0)
      ++childCounts[static_cast<size_t>(section.Parent)];
  }

  File.reset(std::fopen(fileName.c_str(), "wb"));
  if (!File)
    return Fail("cannot create " + fileName + ": " + std::strerror(errno));
  Error.clear();
  Broken = false;
  SegmentCount = static_cast<int>(segmentCount);
  FrameCount = 0;
  LastFrameTime = 0.0;

  bool ok = WriteText(header.Signature + "\n");
  const double reserved1 = AfterWord(header.Reserved1);
  ok = ok && WriteDoubles(&reserved1, 1) && WriteText(header.Description + "\n");
  const double counts[] = {static_cast<double>(sections.size()), static_cast<double>(segmentCount),
                           header.Reserved2, header.TimeUnitFactor};
  ok = ok && WriteDoubles(counts, 4) && WriteText(header.VariableUnit + "\n");
  RangeOffset = ok ? ftello(File.get()) : -1;
  const double range[] = {AfterWord(header.VariableMin), header.VariableMax};
  ok = ok && RangeOffset >= 0 && WriteDoubles(range, 2);

  for (size_t k = 0; ok && k < sections.size(); ++k) {
    const TSection &section = sections[k];
    // A whole number stored as a double has a zero first byte, so the parent
    // count can follow the name directly.
    const double fields[] = {static_cast<double>(section.Parent + 1),
                             static_cast<double>(childCounts[k]),
                             section.Reserved1,
                             section.Reserved2,
                             section.Length,
                             static_cast<double>(section.SegmentCount),
                             static_cast<double>(section.Points.size())};
    ok = WriteText(section.Name + "\n") && WriteDoubles(fields, 7);
    for (size_t i = 0; ok && i < section.Points.size(); ++i) {
      const TPoint &p = section.Points[i];
      const double point[] = {p.X, p.Y, p.Z, p.Diameter};
      ok = WriteDoubles(point, 4);
    }
  }
  if (!ok) {
    const std::string reason = std::strerror(errno);
    File.reset();
    return Fail("cannot write " + fileName + ": " + reason);
  }
  return true;
}

bool TNeuronDataWriter::WriteFrame(double time, std::span<const double> values) {
  if (!File)
    return Fail("no file is open");
  if (Broken)
    return Fail("an earlier write failed");
  if (values.size() != static_cast<size_t>(SegmentCount))
    return Fail("a frame needs one value per segment");
  if (!std::isfinite(time) || (FrameCount > 0 && !(time > LastFrameTime)))
    return Fail("frame times must be finite and increasing");
  if (!WriteDoubles(&time, 1) || !WriteDoubles(values.data(), values.size())) {
    Broken = true;
    return Fail(std::string("cannot write a frame: ") + std::strerror(errno));
  }
  ++FrameCount;
  LastFrameTime = time;
  return true;
}

bool TNeuronDataWriter::PatchRange(double variableMin, double variableMax) {
  if (!File)
    return Fail("no file is open");
  if (Broken)
    return Fail("an earlier write failed");
  if (!std::isfinite(variableMin) || !std::isfinite(variableMax))
    return Fail("the range must be finite");
  const double range[] = {AfterWord(variableMin), variableMax};
  const off_t end = ftello(File.get());
  if (end < 0 || fseeko(File.get(), RangeOffset, SEEK_SET) != 0 || !WriteDoubles(range, 2) ||
      fseeko(File.get(), end, SEEK_SET) != 0) {
    Broken = true;
    return Fail(std::string("cannot patch the range: ") + std::strerror(errno));
  }
  return true;
}

bool TNeuronDataWriter::Close() {
  if (!File)
    return Fail("no file is open");
  const bool flushed = std::fflush(File.get()) == 0;
  const bool closed = std::fclose(File.release()) == 0;
  if (Broken)
    return Fail("the file is incomplete: an earlier write failed");
  if (!flushed || !closed)
    return Fail(std::string("cannot finish the file: ") + std::strerror(errno));
  if (FrameCount == 0)
    return Fail("the file holds no frame, so readers will reject it");
  return true;
}
