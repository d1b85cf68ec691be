#pragma once

#include "data/NeuronDataWriter.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A made-up but plausible neuron for samples and benchmarks: a soma, an axon
// and branching dendrite trunks (named soma, axon, dend[0], dend[1], ... as a
// NEURON model names them), with a train of action potentials that start at
// the soma and travel outward, later and weaker the farther and thinner the
// branch. The same seed and shape always give the same neuron.
class TSampleNeuron {
public:
  struct TShape {
    // All sections: the soma, then the axon, then the dendrites.
    int Sections = 40;
    // Dendrite sections attached to the soma; each starts a subtree.
    int Trunks = 4;
    // Totals over all sections, shared out by section length; 0 picks
    // 4 segments and 12 points per section.
    int Segments = 0;
    int Points = 0;
    std::uint32_t Seed = 1;
  };

  // Throws std::invalid_argument when the shape cannot be built: fewer than
  // one section or trunk, fewer segments than sections, fewer than two points
  // per section, or totals beyond 32 bits.
  explicit TSampleNeuron(const TShape &shape);

  // The sections in file order: every item's sections follow each other.
  const std::vector<TNeuronDataWriter::TSection> &GetSections() const { return Sections; }
  int GetSegmentCount() const { return static_cast<int>(Segments.size()); }
  int GetPointCount() const;

  // The membrane potential in mV of every segment, in file order, at time t
  // in ms.
  void FillFrame(double t, std::span<double> values) const;

  // Writes frames at 0, dt, 2 dt, ... (ms) and the range the values reached.
  // Returns false with the reason in error when the file cannot be written.
  bool Write(const std::string &fileName, std::int64_t frames, double dt,
             const std::string &description, std::string &error) const;

  // A description that names the shape, for files written without one.
  std::string Describe(std::int64_t frames, double dt) const;

private:
  // How the spike looks at one segment.
  struct TSegmentResponse {
    double Delay;     // ms after the somatic spike
    double Amplitude; // fraction of the somatic spike height
    double Width;     // ms
  };

  void Build(const TShape &shape);

  // Somatic spike k, in ms; spikes come about every 12 ms from 2 ms on.
  double SpikeTime(std::int64_t k) const;

  std::vector<TNeuronDataWriter::TSection> Sections;
  std::vector<TSegmentResponse> Segments;
  std::uint32_t Seed = 1;
  int Trunks = 0;
  double MaxDelay = 0.0;
};
