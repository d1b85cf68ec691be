// Writes the seed corpora of the harnesses: a few small data files of
// different shapes (MakeSeeds LOAD_DIR PALETTE_DIR).
#include "data/NeuronDataWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using TSection = TNeuronDataWriter::TSection;

TSection Section(const std::string &name, int parent, int segments,
                 std::vector<TNeuronDataWriter::TPoint> points, double length = -1.0) {
  TSection s{.Name = name, .Parent = parent, .SegmentCount = segments, .Points = std::move(points)};
  s.Length = length < 0.0 ? TNeuronDataWriter::PathLength(s.Points) : length;
  return s;
}

bool WriteData(const fs::path &path, const std::vector<TSection> &sections, int frames,
               const std::string &tail = {}) {
  TNeuronDataWriter writer;
  TNeuronDataWriter::THeader header;
  header.Description = "seed";
  header.VariableMin = -80.0;
  header.VariableMax = 40.0;
  if (!writer.Create(path.string(), header, sections))
    return false;
  std::vector<double> values(static_cast<size_t>(writer.GetSegmentCount()));
  for (int f = 0; f < frames; ++f) {
    for (size_t s = 0; s < values.size(); ++s)
      values[s] = -70.0 + 10.0 * f - static_cast<double>(s);
    if (!writer.WriteFrame(0.025 * f, values))
      return false;
  }
  if (!writer.Close())
    return false;
  std::ofstream(path, std::ios::binary | std::ios::app) << tail;
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s LOAD_DIR PALETTE_DIR\n", argv[0]);
    return 2;
  }
  const fs::path load = argv[1], palette = argv[2];
  fs::create_directories(load);
  fs::create_directories(palette);

  const TSection soma = Section("soma", -1, 1, {{0, 0, 0, 10}, {10, 0, 0, 10}});
  bool ok = WriteData(load / "soma.dat", {soma}, 2);
  ok =
      ok && WriteData(load / "tree.dat",
                      {soma, Section("axon", 0, 3, {{0, 0, 0, 1}, {-5, 0, 0, 1}, {-20, 2, 0, 0.5}}),
                       Section("dend[0]", 0, 2, {{10, 0, 0, 2}, {14, 3, 0, 1.5}}),
                       Section("dend[1]", 2, 4, {{14, 3, 0, 1}, {15, 6, 1, 1}, {16, 9, 1, 0.8}}),
                       Section("dend[2]", 2, 1, {{14, 3, 0, 1}, {18, 2, -1, 0.7}}),
                       Section("other", -1, 2, {{30, 0, 0, 1}, {31, 0, 0, 1}})},
                      4, "partial");
  // Points closer than the cleaning distance, and a length beyond the points.
  ok =
      ok &&
      WriteData(
          load / "clean.dat",
          {Section("soma", -1, 3,
                   {{0, 0, 0, 1}, {0.0005, 0, 0, 1}, {1, 0, 0, 1}, {1, 0.0001, 0, 1}, {2, 0, 0, 2}},
                   5.0)},
          3);
  if (!ok) {
    std::fprintf(stderr, "cannot write the data seeds\n");
    return 1;
  }

  const char *palettes[] = {"0 0 0\n255 255 255\n",  "0 0 0\n300 0 0\n255 255 255\n",
                            "0 0\n0 255\n255 255\n", "10 20 30\n40 x 50\n",
                            "-1 5 5\n1 2 3\n",       ""};
  int n = 0;
  for (const char *text : palettes)
    std::ofstream(palette / ("palette" + std::to_string(n++) + ".ncm"), std::ios::binary) << text;
  return 0;
}
