#include "bench/BenchInputs.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

TBenchInputs::TBenchInputs() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "dendrovia-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("dendrovia bench: cannot create a temporary directory");
    std::exit(1);
  }
  Dir = pattern;
}

TBenchInputs::~TBenchInputs() {
  std::error_code ignored;
  std::filesystem::remove_all(Dir, ignored);
}

TBenchInputs &TBenchInputs::Instance() {
  static TBenchInputs inputs;
  return inputs;
}

std::string TBenchInputs::Get(const TSampleNeuron::TShape &shape, std::int64_t frames, double dt) {
  char name[160];
  std::snprintf(name, sizeof name, "s%d-t%d-g%d-p%d-r%u-f%lld.dat", shape.Sections, shape.Trunks,
                shape.Segments, shape.Points, static_cast<unsigned>(shape.Seed),
                static_cast<long long>(frames));
  const std::filesystem::path path = Instance().Dir / name;
  if (!std::filesystem::exists(path)) {
    std::string error;
    if (!TSampleNeuron(shape).Write(path.string(), frames, dt, name, error)) {
      std::fprintf(stderr, "dendrovia bench: cannot write %s: %s\n", name, error.c_str());
      std::exit(1);
    }
  }
  return path.string();
}
