// dendrovia-sample: writes sample simulation data files and palette files.

#include "tools/SampleNeuron.h"
#include "tools/SamplePalettes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

const char Usage[] = "usage: dendrovia-sample [options] FILE.dat\n"
                     "       dendrovia-sample --palette NAME [--colors N] FILE.ncm\n"
                     "\n"
                     "Writes a simulation data file of a made-up neuron (soma, axon, dendrite\n"
                     "trunks) whose spikes start at the soma and spread outward, or a palette.\n"
                     "\n"
                     "  --sections N      sections in all, soma and axon included (40)\n"
                     "  --trunks N        dendrite trunks on the soma (4)\n"
                     "  --segments N      segments in all (4 per section)\n"
                     "  --points N        points in all (12 per section)\n"
                     "  --frames N        frames (400)\n"
                     "  --dt MS           time step in ms (0.025)\n"
                     "  --seed N          random seed (1)\n"
                     "  --description T   description line (one naming the shape);\n"
                     "                    --description= gives an empty one\n"
                     "  --palette NAME    write a palette instead: coolwarm, viridis or hot\n"
                     "  --colors N        colours of the palette (64)\n";

bool ToInteger(const char *text, long long low, long long high, long long &value) {
  char *end = nullptr;
  errno = 0;
  value = std::strtoll(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

} // namespace

int main(int argc, char **argv) {
  TSampleNeuron::TShape shape;
  long long frames = 400;
  double dt = 0.025;
  std::string description;
  bool described = false;
  std::string palette;
  long long colors = 64;
  std::string output;

  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    // "--option=value" also works, which is the way to give an empty value.
    std::string attached;
    const size_t equals = option.find('=');
    const bool hasAttached = option.rfind("--", 0) == 0 && equals != std::string::npos;
    if (hasAttached) {
      attached = option.substr(equals + 1);
      option.resize(equals);
    }
    if (option == "--help" || option == "-h") {
      std::fputs(Usage, stdout);
      return 0;
    }
    if (option.rfind("--", 0) != 0) {
      if (!output.empty()) {
        std::fputs(Usage, stderr);
        return 2;
      }
      output = option;
      continue;
    }
    if (!hasAttached && i + 1 >= argc) {
      std::fprintf(stderr, "dendrovia-sample: %s needs a value\n", option.c_str());
      return 2;
    }
    const char *value = hasAttached ? attached.c_str() : argv[++i];
    long long number = 0;
    bool ok = true;
    if (option == "--description") {
      description = value;
      described = true;
    } else if (option == "--palette") {
      palette = value;
    } else if (option == "--dt") {
      char *end = nullptr;
      dt = std::strtod(value, &end);
      ok = end != value && *end == '\0' && dt > 0.0;
    } else if (option == "--frames") {
      ok = ToInteger(value, 1, 1ll << 40, frames);
    } else if (option == "--colors") {
      ok = ToInteger(value, 2, 4096, colors);
    } else if (option == "--seed") {
      ok = ToInteger(value, 0, 4294967295ll, number);
      shape.Seed = static_cast<std::uint32_t>(number);
    } else {
      ok = ToInteger(value, 0, 2147483647, number);
      if (option == "--sections")
        shape.Sections = static_cast<int>(number);
      else if (option == "--trunks")
        shape.Trunks = static_cast<int>(number);
      else if (option == "--segments")
        shape.Segments = static_cast<int>(number);
      else if (option == "--points")
        shape.Points = static_cast<int>(number);
      else {
        std::fprintf(stderr, "dendrovia-sample: unknown option %s\n%s", option.c_str(), Usage);
        return 2;
      }
    }
    if (!ok) {
      std::fprintf(stderr, "dendrovia-sample: bad value for %s: %s\n", option.c_str(), value);
      return 2;
    }
  }
  if (output.empty()) {
    std::fputs(Usage, stderr);
    return 2;
  }

  std::string error;
  if (!palette.empty()) {
    if (WriteSamplePalette(palette, static_cast<int>(colors), output, error))
      return 0;
    std::fprintf(stderr, "dendrovia-sample: %s\n", error.c_str());
    return 1;
  }
  try {
    const TSampleNeuron neuron(shape);
    if (!described)
      description = neuron.Describe(frames, dt);
    if (neuron.Write(output, frames, dt, description, error))
      return 0;
  } catch (const std::exception &e) {
    error = e.what();
  }
  std::fprintf(stderr, "dendrovia-sample: %s\n", error.c_str());
  return 1;
}
