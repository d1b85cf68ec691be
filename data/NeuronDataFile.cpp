#include "data/NeuronDataFile.h"

#include "data/DataToColor.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

static_assert(std::endian::native == std::endian::little,
              "the file's doubles are read as stored: little-endian");
static_assert(sizeof(off_t) == 8, "result files of 2 GiB and more need 64-bit offsets");

namespace {

// Longest word, and longest line with its line feed.
constexpr std::size_t MaxText = 255;
// The least a section record takes: a one-character name and its separator,
// seven doubles and one point.
constexpr std::int64_t MinSectionBytes = 2 + 7 * 8 + 32;
constexpr std::int64_t PointBytes = 4 * sizeof(double);
// Points closer than this to the last kept point are dropped.
constexpr double MinPointDistance = 0.001;
// A segment end this close to the preceding point (as a ratio of its distances
// to the two neighbours) is not inserted.
constexpr double MinCutRatio = 0.0001;
// Frame times are picked out of reads of about this many bytes while frames
// are at most MaxTimeStride long; longer frames get one read for each time,
// which then costs less than copying the frames.
constexpr std::int64_t TimeBlockBytes = std::int64_t{1} << 20;
constexpr std::int64_t MaxTimeStride = 16384;
// The part of the file being read once the sections are done.
constexpr std::int32_t FramesPart = -2;

struct TFormatError {
  TDataFileError Kind;
};

[[noreturn]] void Reject(TDataFileError kind) {
  throw TFormatError{kind};
}

// The kept points of one section and their path lengths from its first point.
struct TCleanPoints {
  std::vector<TPoint3Dd> Points;
  std::vector<double> Diameters;
  std::vector<double> PathLengths;
};

// The point that divides a to b as q : 1, which lies the fraction t of the
// way. Coordinates near the largest double overflow q x b, and are then
// weighed by t instead (the ordinary way keeps the results of older files).
TPoint3Dd CutPoint(const TPoint3Dd &a, const TPoint3Dd &b, double q, double t) {
  const TPoint3Dd cut{(q * b.x + a.x) / (q + 1), (q * b.y + a.y) / (q + 1),
                      (q * b.z + a.z) / (q + 1)};
  if (std::isfinite(cut.x) && std::isfinite(cut.y) && std::isfinite(cut.z))
    return cut;
  return {a.x * (1 - t) + b.x * t, a.y * (1 - t) + b.y * t, a.z * (1 - t) + b.z * t};
}

// Rebuilds the section's points so that segment k runs from k * L / S to
// (k + 1) * L / S along the polyline, with its own first and last points.
void Resample(TDataFileSectionInfo &section, TCleanPoints &clean) {
  const std::vector<TPoint3Dd> &p = clean.Points;
  const std::vector<double> &d = clean.Diameters;
  const std::vector<double> &c = clean.PathLengths;
  const std::size_t m = p.size();
  const std::int32_t segments = section.SegmentCount;
  if (segments < 2) {
    section.SegmentFirstPoint = {0, static_cast<std::int32_t>(m)};
    section.PointCount = static_cast<std::int32_t>(m);
    section.Points = std::move(clean.Points);
    section.Diameters = std::move(clean.Diameters);
    return;
  }
  // Every point is taken once, plus per segment a starting copy and a cut.
  const std::size_t capacity = m + 2 * static_cast<std::size_t>(segments);
  if (capacity > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    Reject(TDataFileError::CountBeyondFile);
  std::vector<TPoint3Dd> op;
  std::vector<double> od;
  op.reserve(capacity);
  od.reserve(capacity);
  section.SegmentFirstPoint.assign(static_cast<std::size_t>(segments) + 1, 0);
  const double step = section.Length / segments;
  std::size_t r = 0;
  for (std::int32_t k = 0; k < segments; ++k) {
    section.SegmentFirstPoint[k] = static_cast<std::int32_t>(op.size());
    const double end = (k + 1) * step;
    if (k > 0) {
      op.push_back(op.back());
      od.push_back(od.back());
    }
    std::size_t j = r;
    for (; j < m; ++j) {
      if (c[j] > end) {
        // j > 0 here: c[0] is 0 and end is not negative.
        const double q = (end - c[j - 1]) / (c[j] - end);
        if (q > MinCutRatio) {
          op.push_back(CutPoint(p[j - 1], p[j], q, (end - c[j - 1]) / (c[j] - c[j - 1])));
          od.push_back(d[j] + (d[j - 1] - d[j]) * (c[j] - end) / (c[j] - c[j - 1]));
        }
        break;
      }
      op.push_back(p[j]);
      od.push_back(d[j]);
    }
    // Once the points are used up (a length beyond the polyline), the later
    // segments are only their starting copies instead of repeating the tail.
    r = j;
  }
  section.SegmentFirstPoint[segments] = static_cast<std::int32_t>(op.size());
  section.PointCount = static_cast<std::int32_t>(op.size());
  section.Points = std::move(op);
  section.Diameters = std::move(od);
}

// Reads size bytes at offset without moving the stream's position; false on a
// read error or the end of the file.
bool ReadAt(int fd, char *buffer, std::size_t size, std::int64_t offset) {
  while (size > 0) {
    const ssize_t got = pread(fd, buffer, size, offset);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    buffer += got;
    size -= static_cast<std::size_t>(got);
    offset += got;
  }
  return true;
}

double RoundHalfToEven(double x) {
  const double below = std::floor(x);
  const double fraction = x - below;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
    return below + 1.0;
  return below;
}

} // namespace

// Reads the fields of the header and the sections, counting the bytes taken so
// that every count can be checked against what is left of the file.
class TNeuronDataFile::TReader {
public:
  explicit TReader(std::FILE *file) : File(file) {
    if (fseeko(file, 0, SEEK_END) != 0 || (Length = ftello(file)) < 0 ||
        fseeko(file, 0, SEEK_SET) != 0)
      Reject(TDataFileError::Truncated);
  }

  std::int64_t GetLength() const { return Length; }
  std::int64_t Tell() const { return Position; }
  std::int64_t Remaining() const { return Length - Position; }

  double Double() {
    double value = 0.0;
    Doubles(&value, 1);
    return value;
  }

  void Doubles(double *values, std::size_t count) {
    if (std::fread(values, sizeof(double), count, File) != count)
      Reject(TDataFileError::Truncated);
    Position += static_cast<std::int64_t>(count * sizeof(double));
  }

  // A double truncated toward zero to a 32-bit count.
  std::int32_t Count() {
    const double value = Double();
    if (!std::isfinite(value) || value <= -1.0 ||
        value >= -static_cast<double>(std::numeric_limits<std::int32_t>::min()))
      Reject(TDataFileError::BadCount);
    return static_cast<std::int32_t>(value);
  }

  // Skips white space, takes the run of other characters and swallows the
  // white space after it.
  std::string Word() {
    int c = Get();
    while (c != EOF && IsBlank(c))
      c = Get();
    if (c == EOF)
      Reject(TDataFileError::Truncated);
    std::string word;
    while (c != EOF && !IsBlank(c)) {
      if (word.size() == MaxText)
        Reject(TDataFileError::WordTooLong);
      word.push_back(static_cast<char>(c));
      c = Get();
    }
    while (c != EOF && IsBlank(c))
      c = Get();
    if (c != EOF) {
      std::ungetc(c, File);
      --Position;
    }
    return word;
  }

  // Text up to the line feed, which is dropped; a carriage return stays.
  std::string Line() {
    std::string line;
    for (;;) {
      const int c = Get();
      if (c == EOF)
        Reject(TDataFileError::Truncated);
      if (c == '\n')
        return line;
      if (line.size() + 1 == MaxText)
        Reject(TDataFileError::LineTooLong);
      line.push_back(static_cast<char>(c));
    }
  }

private:
  int Get() {
    const int c = std::getc(File);
    if (c != EOF)
      ++Position;
    return c;
  }

  std::FILE *File;
  std::int64_t Length = 0;
  std::int64_t Position = 0;
};

void TNeuronDataFile::Load(const std::string &fileName) {
  Clear();
  LoadError = TDataFileError::None;
  LoadErrno = 0;
  LoadSection = -1;
  LoadSignature.clear();
  DataFile.reset(std::fopen(fileName.c_str(), "rb"));
  if (!DataFile) {
    LoadErrno = errno;
    LoadError = TDataFileError::CannotOpen;
    return;
  }
  // A folder opens for reading here, and only reading it fails.
  struct stat status {};
  if (fstat(fileno(DataFile.get()), &status) != 0 || !S_ISREG(status.st_mode)) {
    DataFile.reset();
    LoadError = TDataFileError::NotAFile;
    LoadErrno = S_ISDIR(status.st_mode) ? EISDIR : 0;
    return;
  }
  try {
    ReadModel();
  } catch (const TFormatError &error) {
    Clear();
    DataFile.reset();
    LoadError = error.Kind;
    return;
  } catch (...) {
    Clear();
    DataFile.reset();
    throw;
  }
  FileName = fileName;
}

std::string TNeuronDataFile::DescribeLoadError(const std::string &signature) const {
  const std::string where = LoadSection == FramesPart ? "the first frame"
                            : LoadSection < 0         ? "the header"
                                              : "section " + std::to_string(LoadSection + 1);
  switch (LoadError) {
  case TDataFileError::None:
    return {};
  case TDataFileError::CannotOpen:
    if (LoadErrno == ENOENT)
      return "no such file";
    return "it cannot be opened: " + std::string(std::strerror(LoadErrno));
  case TDataFileError::NotAFile:
    return LoadErrno == EISDIR ? "a folder, not a file" : "not a plain file";
  case TDataFileError::Empty:
    return "the file is empty";
  default:
    break;
  }
  if (LoadSignature != signature)
    return "not a simulation data file: it does not start with " + signature;
  switch (LoadError) {
  case TDataFileError::Truncated:
    return where + " is cut short";
  case TDataFileError::WordTooLong:
    return "a word in " + where + " is longer than 255 characters";
  case TDataFileError::LineTooLong:
    return "the description is longer than 255 characters";
  case TDataFileError::BadCount:
    return "a count in " + where + " is negative, not a number or too large";
  case TDataFileError::CountBeyondFile:
    return where + " counts more than the file holds";
  case TDataFileError::BadParent:
    return where + " names a parent that does not come before it";
  case TDataFileError::BadNumber:
    return where + " has a length, coordinate or diameter that is negative or not finite";
  case TDataFileError::NoSections:
    return "the header counts no sections";
  case TDataFileError::NoSegments:
    return where + " has no segments";
  case TDataFileError::NoPoints:
    return where + " has no points";
  case TDataFileError::SegmentSum:
    return "the sections' segments do not add up to the header's count";
  case TDataFileError::NoFrame:
    return "no whole frame follows the sections";
  default:
    return "it cannot be read";
  }
}

void TNeuronDataFile::Clear() {
  FileName.clear();
  Header = TDataFileHeader{};
  Sections = {};
  ItemCount = 0;
  ItemFirstSection = {};
  ItemChecked.reset();
  SectionFirstSegment = {};
  MinX = MaxX = MinY = MaxY = MinZ = MaxZ = 0.0;
  FirstFrameTime = LastFrameTime = 0.0;
  FramesStart = LastFrameOffset = 0;
  FrameSize = FrameCount = CurrentFrameIndex = 0;
  FrameTimes = {};
  FrameTimesSorted = false;
  FillIndex = 0;
  FrameBuffers = {};
  ColorBuffers = {};
}

void TNeuronDataFile::ReadModel() {
  TReader in(DataFile.get());
  if (in.GetLength() == 0)
    Reject(TDataFileError::Empty);
  constexpr double Huge = std::numeric_limits<double>::max();
  MinX = MinY = MinZ = Huge;
  MaxX = MaxY = MaxZ = -Huge;

  Header.Signature = in.Word();
  LoadSignature = Header.Signature;
  Header.Reserved1 = in.Double();
  Header.Description = in.Line();
  Header.SectionCount = in.Count();
  Header.SegmentCount = in.Count();
  Header.Reserved2 = in.Double();
  Header.TimeUnitFactor = in.Double();
  Header.VariableUnit = in.Word();
  Header.VariableMin = in.Double();
  Header.VariableMax = in.Double();
  if (Header.SectionCount < 1)
    Reject(TDataFileError::NoSections);
  // The sections and one frame must fit into the rest of the file.
  if (MinSectionBytes * Header.SectionCount + 8 * (std::int64_t{Header.SegmentCount} + 1) >
      in.Remaining())
    Reject(TDataFileError::CountBeyondFile);

  Sections.resize(static_cast<std::size_t>(Header.SectionCount));
  std::int64_t segmentSum = 0;
  for (std::int32_t k = 0; k < Header.SectionCount; ++k) {
    LoadSection = k;
    ReadSection(in, k, segmentSum);
  }
  LoadSection = FramesPart;
  if (segmentSum != Header.SegmentCount)
    Reject(TDataFileError::SegmentSum);
  BuildIndices();
  ReadFrameGeometry(in.Tell(), in.GetLength());
}

void TNeuronDataFile::ReadSection(TReader &in, std::int32_t k, std::int64_t &segmentSum) {
  TDataFileSectionInfo &s = Sections[static_cast<std::size_t>(k)];
  s.Name = in.Word();
  s.Parent = in.Count() - 1;
  if (s.Parent >= k)
    Reject(TDataFileError::BadParent);
  if (s.Parent >= 0) {
    TDataFileSectionInfo &parent = Sections[static_cast<std::size_t>(s.Parent)];
    if (static_cast<std::int32_t>(parent.Children.size()) < parent.ChildCount)
      parent.Children.push_back(k);
  }
  s.ChildCount = in.Count();
  if (s.ChildCount > Header.SectionCount - 1 - k)
    Reject(TDataFileError::CountBeyondFile);
  s.Reserved1 = in.Double();
  s.Reserved2 = in.Double();
  s.Length = in.Double();
  if (!std::isfinite(s.Length) || s.Length < 0.0)
    Reject(TDataFileError::BadNumber);
  s.SegmentCount = in.Count();
  if (s.SegmentCount < 1)
    Reject(TDataFileError::NoSegments);
  segmentSum += s.SegmentCount;
  if (segmentSum > Header.SegmentCount)
    Reject(TDataFileError::SegmentSum);
  s.PointCount = in.Count();
  if (s.PointCount < 1)
    Reject(TDataFileError::NoPoints);
  if (PointBytes * s.PointCount > in.Remaining())
    Reject(TDataFileError::CountBeyondFile);

  const std::size_t count = static_cast<std::size_t>(s.PointCount);
  std::vector<double> raw(4 * count);
  in.Doubles(raw.data(), raw.size());
  if (!std::all_of(raw.begin(), raw.end(), [](double v) { return std::isfinite(v); }))
    Reject(TDataFileError::BadNumber);

  TCleanPoints clean;
  clean.Points.reserve(count);
  clean.Diameters.reserve(count);
  clean.PathLengths.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const TPoint3Dd point{raw[4 * i], raw[4 * i + 1], raw[4 * i + 2]};
    // The bounds take in every point read, also those dropped below.
    MinX = std::min(MinX, point.x);
    MaxX = std::max(MaxX, point.x);
    MinY = std::min(MinY, point.y);
    MaxY = std::max(MaxY, point.y);
    MinZ = std::min(MinZ, point.z);
    MaxZ = std::max(MaxZ, point.z);
    double pathLength = 0.0;
    if (i > 0) {
      const TPoint3Dd &last = clean.Points.back();
      const double dx = point.x - last.x;
      const double dy = point.y - last.y;
      const double dz = point.z - last.z;
      double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
      // The squares of steps beyond 1e154 overflow; hypot scales them.
      if (std::isinf(distance))
        distance = std::hypot(dx, dy, dz);
      if (distance < MinPointDistance)
        continue;
      pathLength = clean.PathLengths.back() + distance;
    }
    clean.Points.push_back(point);
    clean.Diameters.push_back(raw[4 * i + 3]);
    clean.PathLengths.push_back(pathLength);
  }
  if (clean.Points.size() < count) {
    s.Length = clean.PathLengths.back();
    s.PointCount = static_cast<std::int32_t>(clean.Points.size());
  }
  Resample(s, clean);
}

void TNeuronDataFile::BuildIndices() {
  // Only the children found are kept, so Children never holds an empty slot.
  for (TDataFileSectionInfo &s : Sections)
    s.ChildCount = static_cast<std::int32_t>(s.Children.size());

  for (std::int32_t k = 0; k < Header.SectionCount; ++k)
    if (Sections[static_cast<std::size_t>(k)].Parent <= 0)
      ItemFirstSection.push_back(k);
  ItemCount = static_cast<std::int32_t>(ItemFirstSection.size());
  ItemFirstSection.push_back(Header.SectionCount);

  ItemChecked = std::make_unique<std::atomic<std::uint8_t>[]>(static_cast<std::size_t>(ItemCount));
  for (std::int32_t i = 0; i < ItemCount; ++i)
    ItemChecked[static_cast<std::size_t>(i)].store(1);

  SectionFirstSegment.resize(static_cast<std::size_t>(Header.SectionCount) + 1);
  SectionFirstSegment[0] = 0;
  for (std::size_t k = 0; k < Sections.size(); ++k)
    SectionFirstSegment[k + 1] = SectionFirstSegment[k] + Sections[k].SegmentCount;

  for (std::int32_t item = 0; item < ItemCount; ++item) {
    const auto first = static_cast<std::size_t>(ItemFirstSection[static_cast<std::size_t>(item)]);
    const auto next =
        static_cast<std::size_t>(ItemFirstSection[static_cast<std::size_t>(item) + 1]);
    Sections[first].StartDistance = 0.0;
    Sections[first].LeafIndex = 0;
    std::int32_t leaves = 0;
    for (std::size_t k = first + 1; k < next; ++k) {
      TDataFileSectionInfo &s = Sections[k];
      // Sections after an item's first have a parent, an earlier section.
      const TDataFileSectionInfo &parent = Sections[static_cast<std::size_t>(s.Parent)];
      s.StartDistance = parent.StartDistance + parent.Length;
      s.LeafIndex = leaves;
      if (s.ChildCount == 0)
        ++leaves;
    }
  }
}

void TNeuronDataFile::ReadFrameGeometry(std::int64_t framesStart, std::int64_t fileLength) {
  FrameSize = 8 * std::int64_t{Header.SegmentCount} + 8;
  FramesStart = framesStart;
  FrameCount = (fileLength - FramesStart) / FrameSize;
  if (FrameCount < 1)
    Reject(TDataFileError::NoFrame);
  // A trailing partial frame does not count: the last frame is a whole one.
  LastFrameOffset = FramesStart + (FrameCount - 1) * FrameSize;
  if (!ReadFrameTime(0, FirstFrameTime) || !ReadFrameTime(FrameCount - 1, LastFrameTime))
    Reject(TDataFileError::Truncated);

  const std::size_t segments = static_cast<std::size_t>(Header.SegmentCount);
  for (int i = 0; i < 2; ++i) {
    FrameBuffers[i].assign(segments + 1, 0.0);
    ColorBuffers[i].assign(3 * segments, 0.0f);
  }
  if (!ReadFrame(0))
    Reject(TDataFileError::Truncated);
}

bool TNeuronDataFile::ReadFrameTime(std::int64_t index, double &time) {
  return fseeko(DataFile.get(), FramesStart + index * FrameSize, SEEK_SET) == 0 &&
         std::fread(&time, sizeof time, 1, DataFile.get()) == 1;
}

bool TNeuronDataFile::ReadFrame(std::int64_t index) {
  std::vector<double> &frame = FrameBuffers[FillIndex];
  if (fseeko(DataFile.get(), FramesStart + index * FrameSize, SEEK_SET) != 0 ||
      std::fread(frame.data(), sizeof(double), frame.size(), DataFile.get()) != frame.size())
    return false;
  ShowFillBuffers();
  CurrentFrameIndex = index;
  return true;
}

void TNeuronDataFile::ShowFillBuffers() {
  // The views read only the current buffers, so the fill buffers are written
  // without the lock; it guards the switch alone.
  if (Palette)
    Palette->MapValues(FrameBuffers[FillIndex].data() + 1, ColorBuffers[FillIndex].data(),
                       Header.SegmentCount);
  {
    std::lock_guard lock(FrameLock);
    FillIndex = 1 - FillIndex;
  }
  for (const auto &[handle, listener] : FrameListeners)
    listener();
}

int TNeuronDataFile::AddFrameListener(std::function<void()> listener) const {
  FrameListeners.emplace_back(++NextFrameListener, std::move(listener));
  return NextFrameListener;
}

void TNeuronDataFile::RemoveFrameListener(int handle) const {
  std::erase_if(FrameListeners, [handle](const auto &entry) { return entry.first == handle; });
}

bool TNeuronDataFile::LoadFrameTimes() {
  if (!FrameTimes.empty())
    return true;
  // A seek of the stream per time would refill its whole buffer each time.
  // pread leaves the stream alone and takes many short frames at once.
  const std::int64_t perRead = FrameSize <= MaxTimeStride ? TimeBlockBytes / FrameSize : 1;
  std::vector<char> block(static_cast<std::size_t>((perRead - 1) * FrameSize + 8));
  std::vector<double> times(static_cast<std::size_t>(FrameCount));
  const int fd = fileno(DataFile.get());
  for (std::int64_t first = 0; first < FrameCount; first += perRead) {
    const std::int64_t count = std::min(perRead, FrameCount - first);
    if (!ReadAt(fd, block.data(), static_cast<std::size_t>((count - 1) * FrameSize + 8),
                FramesStart + first * FrameSize))
      return false;
    for (std::int64_t k = 0; k < count; ++k)
      std::memcpy(&times[static_cast<std::size_t>(first + k)], block.data() + k * FrameSize,
                  sizeof(double));
  }
  // A file changed since Load would no longer match its end times.
  if (times.front() != FirstFrameTime || times.back() != LastFrameTime)
    return false;
  FrameTimesSorted = true;
  for (std::size_t i = 1; i < times.size() && FrameTimesSorted; ++i)
    FrameTimesSorted = times[i] >= times[i - 1];
  FrameTimes = std::move(times);
  return true;
}

bool TNeuronDataFile::NearestFrame(double t, std::int64_t &index, double &time) {
  if (!(t > FirstFrameTime)) {
    index = 0;
    time = FirstFrameTime;
    return true;
  }
  if (!(t < LastFrameTime)) {
    index = FrameCount - 1;
    time = LastFrameTime;
    return true;
  }
  if (!LoadFrameTimes())
    return false;
  // The first frame at t or later; out of order times are searched in order.
  const auto begin = FrameTimes.begin();
  const auto found =
      FrameTimesSorted ? std::lower_bound(begin, FrameTimes.end(), t)
                       : std::find_if(begin, FrameTimes.end(), [t](double ti) { return t <= ti; });
  // t lies strictly between the first and the last time: 0 < i < FrameCount.
  const std::int64_t i = found - begin;
  const double before = FrameTimes[static_cast<std::size_t>(i) - 1];
  const double after = FrameTimes[static_cast<std::size_t>(i)];
  if (after - t >= t - before) {
    index = i - 1;
    time = before;
  } else {
    index = i;
    time = after;
  }
  return true;
}

double TNeuronDataFile::FindNearestFrameTime(double t) {
  std::int64_t index = 0;
  double time = 0.0;
  if (FileName.empty() || !NearestFrame(t, index, time))
    return -1.0;
  return time;
}

double TNeuronDataFile::SeekFrame(double t) {
  std::int64_t index = 0;
  double time = 0.0;
  if (FileName.empty() || !NearestFrame(t, index, time) || !ReadFrame(index))
    return -1.0;
  return CurrentTime();
}

std::int64_t TNeuronDataFile::CountFramesBetween(double first, double last) {
  if (FileName.empty() || !LoadFrameTimes())
    return -1;
  return std::count_if(FrameTimes.begin(), FrameTimes.end(),
                       [first, last](double t) { return t >= first && t <= last; });
}

double TNeuronDataFile::StepForward(int skip) {
  // The index check ends the way also when times are not numbers.
  if (FileName.empty() || CurrentTime() >= LastFrameTime || CurrentFrameIndex >= FrameCount - 1)
    return -1.0;
  const std::int64_t target = std::min(CurrentFrameIndex + 1 + std::max(skip, 0), FrameCount - 1);
  return ReadFrame(target) ? CurrentTime() : -1.0;
}

double TNeuronDataFile::StepBack(int skip) {
  if (FileName.empty() || CurrentTime() <= FirstFrameTime || CurrentFrameIndex <= 0)
    return -1.0;
  const std::int64_t target = std::max(CurrentFrameIndex - 1 - std::max(skip, 0), std::int64_t{0});
  return ReadFrame(target) ? CurrentTime() : -1.0;
}

void TNeuronDataFile::RecolorCurrentFrame() {
  if (!Palette || FileName.empty())
    return;
  // Colour a copy in the other buffers and switch to it, so that a view still
  // drawing the current colours never sees them half rewritten.
  FrameBuffers[FillIndex] = FrameBuffers[1 - FillIndex];
  ShowFillBuffers();
}

std::string TNeuronDataFile::GetTimeUnit() const {
  if (FileName.empty())
    return {};
  return Header.TimeUnitFactor >= 1.0 ? "s" : "ms";
}

double TNeuronDataFile::GetMaxDistance() const {
  double largest = 0.0;
  for (std::int32_t item = 0; item < ItemCount; ++item) {
    if (ItemChecked[static_cast<std::size_t>(item)].load(std::memory_order_relaxed) != 1)
      continue;
    for (std::int32_t k = ItemFirstSection[static_cast<std::size_t>(item)];
         k < ItemFirstSection[static_cast<std::size_t>(item) + 1]; ++k) {
      const TDataFileSectionInfo &s = Sections[static_cast<std::size_t>(k)];
      if (s.ChildCount == 0 || s.Parent < 0)
        largest = std::max(largest, s.StartDistance + s.Length);
    }
  }
  return RoundHalfToEven(largest);
}
