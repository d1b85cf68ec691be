#pragma once

#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"
#include "data/NeuronDataWriter.h"
#include "views/ViewContext.h"

#include <QTemporaryDir>

#include <cstdint>

#include <string>
#include <vector>

class TOpenGLViewThread;

// Waits, serving events, until the view has drawn nothing new for a while;
// its draw count then.
std::uint64_t SettledDraws(const TOpenGLViewThread &thread);

// A straight section along x: Length = length, Parent = parent, segments.
TNeuronDataWriter::TSection StraightSection(const std::string &name, int parent, double length,
                                            int segments);

// The same with a diameter falling evenly from `from` at the start to `to` at
// the end.
TNeuronDataWriter::TSection TaperedSection(const std::string &name, int parent, double length,
                                           int segments, double from, double to);

// Writes a data file with the sections and one frame per entry of frames
// (time, then one value per segment); fails the test when it cannot.
std::string WriteDataFile(const QTemporaryDir &dir, const std::string &name,
                          const std::vector<TNeuronDataWriter::TSection> &sections,
                          const std::vector<std::vector<double>> &frames);

// The opener's side for tests: a loaded data file coloured by the default palette
// over -80..40, and the variable scale texts.
class TTestViewContext : public TViewContext {
public:
  explicit TTestViewContext(const std::string &fileName);

  const TNeuronDataFile &GetViewData() const override { return Data; }
  const TDataToColor &GetViewPalette() const override { return Palette; }
  std::string GetVariableMinText() const override { return VariableMin; }
  std::string GetVariableMaxText() const override { return VariableMax; }
  std::string GetTimeMinText() const override { return TimeMin; }
  std::string GetTimeMaxText() const override { return TimeMax; }
  TSelectedPointList &GetFtPoints() override { return Points; }
  void AddSelectedPoint(const std::string &code, const std::string &name) override {
    std::string error;
    ::AddSelectedPoint(Points, code, name, error);
  }
  void ShowHelpWindow(bool about) override { HelpRequests.push_back(about); }

  // The colour the palette gives a value, as 0..255 bytes.
  std::array<int, 3> ColorOf(double value) const;

  TNeuronDataFile Data;
  TDataToColor Palette;
  std::string VariableMin = "-80";
  std::string VariableMax = "40";
  std::string TimeMin = "0";
  std::string TimeMax = "100";
  TSelectedPointList Points;
  std::vector<bool> HelpRequests;
};
