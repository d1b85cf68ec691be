#pragma once

#include "tools/SampleNeuron.h"

#include <cstdint>
#include <filesystem>
#include <string>

// Data files for the benchmarks, written by the sample generator into a
// temporary directory on first use and removed when the process ends.
class TBenchInputs {
public:
  // The path of a sample of the given shape and length, writing it first if
  // this process has not yet. Aborts the benchmark run if it cannot be
  // written.
  static std::string Get(const TSampleNeuron::TShape &shape, std::int64_t frames, double dt);

private:
  TBenchInputs();
  ~TBenchInputs();
  static TBenchInputs &Instance();

  std::filesystem::path Dir;
};
