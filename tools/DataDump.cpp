// dendrovia-dump: loads a simulation data file the way the viewer does and
// prints what it holds as JSON: the header, the sections as resampled into
// segments, the item and segment indices and, unless --no-frames is given,
// every frame as [time, value, value, ...].
//
// Numbers print with 17 significant digits, so they read back exactly; NaN
// and infinities print as NaN, Infinity and -Infinity. Bytes above 127 in
// names and texts print as \u0080..\u00ff.
//
// Exit status 0 on success, 1 if the file does not load, 2 on bad arguments.

#include "data/NeuronDataFile.h"

#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

void PrintNumber(double value) {
  if (std::isnan(value))
    std::fputs("NaN", stdout);
  else if (std::isinf(value))
    std::fputs(value > 0 ? "Infinity" : "-Infinity", stdout);
  else
    std::printf("%.17g", value);
}

void PrintString(const std::string &text) {
  std::putchar('"');
  for (unsigned char c : text) {
    if (c == '"' || c == '\\')
      std::printf("\\%c", c);
    else if (c < 0x20 || c >= 0x7f)
      std::printf("\\u%04x", c);
    else
      std::putchar(c);
  }
  std::putchar('"');
}

template <typename T> void PrintArray(const std::vector<T> &values) {
  std::putchar('[');
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0)
      std::putchar(',');
    PrintNumber(static_cast<double>(values[i]));
  }
  std::putchar(']');
}

void PrintKey(const char *key, bool first = false) {
  std::printf(first ? "\"%s\":" : ",\n\"%s\":", key);
}

// A member of an object after its first; whole numbers print without a point.
void PrintField(const char *key, double value) {
  std::printf(",\"%s\":", key);
  PrintNumber(value);
}

void PrintField(const char *key, const std::string &text) {
  std::printf(",\"%s\":", key);
  PrintString(text);
}

template <typename T> void PrintField(const char *key, const std::vector<T> &values) {
  std::printf(",\"%s\":", key);
  PrintArray(values);
}

void PrintHeader(const TNeuronDataFile &data) {
  const TDataFileHeader &h = data.GetHeader();
  PrintKey("header");
  std::fputs("{\"Signature\":", stdout);
  PrintString(h.Signature);
  PrintField("Reserved1", h.Reserved1);
  PrintField("Description", h.Description);
  PrintField("SectionCount", h.SectionCount);
  PrintField("SegmentCount", h.SegmentCount);
  PrintField("Reserved2", h.Reserved2);
  PrintField("TimeUnitFactor", h.TimeUnitFactor);
  PrintField("VariableUnit", h.VariableUnit);
  PrintField("VariableMin", h.VariableMin);
  PrintField("VariableMax", h.VariableMax);
  std::putchar('}');
}

void PrintSection(const TDataFileSectionInfo &s) {
  std::fputs("{\"Name\":", stdout);
  PrintString(s.Name);
  PrintField("Parent", s.Parent);
  PrintField("ChildCount", s.ChildCount);
  PrintField("Children", s.Children);
  PrintField("Length", s.Length);
  PrintField("StartDistance", s.StartDistance);
  PrintField("LeafIndex", s.LeafIndex);
  PrintField("SegmentCount", s.SegmentCount);
  PrintField("PointCount", s.PointCount);
  PrintField("SegmentFirstPoint", s.SegmentFirstPoint);
  std::fputs(",\"Points\":[", stdout);
  for (size_t i = 0; i < s.Points.size(); ++i) {
    std::fputs(i > 0 ? ",[" : "[", stdout);
    PrintNumber(s.Points[i].x);
    std::putchar(',');
    PrintNumber(s.Points[i].y);
    std::putchar(',');
    PrintNumber(s.Points[i].z);
    std::putchar(',');
    PrintNumber(i < s.Diameters.size() ? s.Diameters[i] : NAN);
    std::putchar(']');
  }
  std::fputs("]}", stdout);
}

// Prints every frame from the first; false if the reader stopped before the
// file's frame count.
bool PrintFrames(TNeuronDataFile &data) {
  const int values = data.GetHeader().SegmentCount;
  PrintKey("Frames");
  std::putchar('[');
  std::int64_t printed = 0;
  std::vector<double> frame(values + 1);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(data.GetFrameLock());
      frame.assign(data.GetCurrentFrame(), data.GetCurrentFrame() + values + 1);
    }
    std::fputs(printed > 0 ? ",\n" : "\n", stdout);
    PrintArray(frame);
    ++printed;
    if (printed >= data.GetFrameCount() || data.StepForward(0) < 0.0)
      break;
  }
  std::putchar(']');
  return printed == data.GetFrameCount();
}

} // namespace

int main(int argc, char **argv) {
  bool frames = true;
  bool usable = true;
  std::string fileName;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--no-frames")
      frames = false;
    else if (fileName.empty() && !arg.empty() && arg[0] != '-')
      fileName = arg;
    else
      usable = false;
  }
  if (!usable || fileName.empty()) {
    std::fputs("usage: dendrovia-dump [--no-frames] FILE\n", stderr);
    return 2;
  }

  TNeuronDataFile data;
  data.Load(fileName);
  if (data.GetFileName().empty()) {
    std::fprintf(stderr, "dendrovia-dump: %s does not load (error %d)\n", fileName.c_str(),
                 static_cast<int>(data.GetLoadError()));
    return 1;
  }

  std::putchar('{');
  PrintKey("FileName", true);
  PrintString(data.GetFileName());
  PrintHeader(data);
  PrintKey("TimeUnit");
  PrintString(data.GetTimeUnit());
  PrintKey("ItemCount");
  std::printf("%d", data.GetItemCount());
  PrintKey("ItemFirstSection");
  PrintArray(data.GetItemFirstSection());
  PrintKey("SectionFirstSegment");
  PrintArray(data.GetSectionFirstSegment());
  PrintKey("Bounds");
  PrintArray(std::vector<double>{data.GetMinX(), data.GetMaxX(), data.GetMinY(), data.GetMaxY(),
                                 data.GetMinZ(), data.GetMaxZ()});
  PrintKey("MaxDistance");
  PrintNumber(data.GetMaxDistance());
  PrintKey("FirstFrameTime");
  PrintNumber(data.GetFirstFrameTime());
  PrintKey("LastFrameTime");
  PrintNumber(data.GetLastFrameTime());
  PrintKey("FrameCount");
  std::printf("%lld", static_cast<long long>(data.GetFrameCount()));
  PrintKey("Sections");
  std::putchar('[');
  const std::vector<TDataFileSectionInfo> &sections = data.GetSections();
  for (size_t i = 0; i < sections.size(); ++i) {
    std::fputs(i > 0 ? ",\n" : "\n", stdout);
    PrintSection(sections[i]);
  }
  std::putchar(']');
  bool complete = true;
  if (frames)
    complete = PrintFrames(data);
  std::puts("}");
  if (!complete) {
    std::fputs("dendrovia-dump: the frames stopped before the file's end\n", stderr);
    return 1;
  }
  return std::ferror(stdout) ? 1 : 0;
}
