#pragma once

#include "bench/BenchInputs.h"
#include "data/DataToColor.h"
#include "data/NeuronDataFile.h"
#include "views/ViewContext.h"

#include <string>

// The opener's side for the view benchmarks: a loaded sample of the given
// number of segments (none: no data at all), coloured over -80..40, at the
// frame of time 5.
class TBenchViewContext : public TViewContext {
public:
  // The sections have two points to a segment, or pointsPerSection when given
  // (2: straight sections, as NEURON's define_shape makes them).
  explicit TBenchViewContext(int segments, int segmentsPerSection = 50, int pointsPerSection = 0) {
    const int sections = segments / segmentsPerSection;
    if (segments != 0)
      Open({.Sections = sections,
            .Trunks = 8,
            .Segments = segments,
            .Points = pointsPerSection > 0 ? pointsPerSection * sections : 2 * segments},
           40, 0.25, 5.0);
  }

  const TNeuronDataFile &GetViewData() const override { return Data; }
  const TDataToColor &GetViewPalette() const override { return Palette; }
  std::string GetVariableMinText() const override { return "-80"; }
  std::string GetVariableMaxText() const override { return "40"; }
  std::string GetTimeMinText() const override { return "0"; }
  std::string GetTimeMaxText() const override { return "4"; }
  TSelectedPointList &GetFtPoints() override { return Points; }
  void AddSelectedPoint(const std::string &, const std::string &) override {}
  void ShowHelpWindow(bool) override {}

  TNeuronDataFile Data;
  TDataToColor Palette;
  TSelectedPointList Points;

protected:
  TBenchViewContext() = default;

  // Loads a sample of the shape and length, coloured over -80..40, at the
  // frame of the time.
  void Open(const TSampleNeuron::TShape &shape, std::int64_t frames, double dt, double time) {
    Data.Load(TBenchInputs::Get(shape, frames, dt));
    Palette.SetRange(-80.0, 40.0);
    Data.SetPalette(&Palette);
    Data.SeekFrame(time);
  }
};
