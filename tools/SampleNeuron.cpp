#include "tools/SampleNeuron.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <random>
#include <stdexcept>

namespace {

using TSection = TNeuronDataWriter::TSection;
using TPoint = TNeuronDataWriter::TPoint;

constexpr double RestPotential = -65.0;            // mV
constexpr double SpikeHeight = 105.0;              // mV above rest at the soma
constexpr double AfterHyperpolarization = 8.0;     // mV below rest at its deepest
constexpr double AfterHyperpolarizationTime = 3.0; // ms to its deepest
constexpr double SpikeInterval = 12.0;             // ms between somatic spikes, on average
constexpr double FirstSpike = 2.0;                 // ms
constexpr double SpikeJitter = 2.0;                // ms either way
// Beyond this a spike's trace (mostly its after-hyperpolarization) is below
// 0.001 mV.
constexpr double SpikeMemory = 40.0;       // ms
constexpr double AxonVelocity = 1000.0;    // um/ms, 1 m/s
constexpr double DendriteVelocity = 250.0; // um/ms, back-propagating spike
constexpr double LengthConstant = 400.0;   // um for a 1 um thick dendrite
constexpr double SomaWidth = 0.2;          // ms, spike width at the soma
constexpr double SomaLength = 20.0;        // um
constexpr double SomaDiameter = 20.0;      // um
constexpr double AxonLength = 500.0;       // um

struct TVec {
  double X = 0.0, Y = 0.0, Z = 0.0;
};
TVec operator+(TVec a, TVec b) {
  return {a.X + b.X, a.Y + b.Y, a.Z + b.Z};
}
TVec operator*(double k, TVec a) {
  return {k * a.X, k * a.Y, k * a.Z};
}
double Dot(TVec a, TVec b) {
  return a.X * b.X + a.Y * b.Y + a.Z * b.Z;
}
TVec Cross(TVec a, TVec b) {
  return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}
TVec Normalized(TVec a) {
  return (1.0 / std::sqrt(Dot(a, a))) * a;
}

// Two unit vectors perpendicular to the unit vector d and to each other.
void Perpendiculars(TVec d, TVec &p, TVec &q) {
  const TVec helper = std::abs(d.X) < 0.9 ? TVec{1, 0, 0} : TVec{0, 1, 0};
  p = Normalized(Cross(d, helper));
  q = Cross(d, p);
}

// Uniform in [0, 1), the same on every platform for the same generator state.
double Uniform(std::mt19937 &random) {
  return random() / 4294967296.0;
}
double Uniform(std::mt19937 &random, double low, double high) {
  return low + (high - low) * Uniform(random);
}

// Shares total out in proportion to the weights, each share at least minimum,
// the rounding left over going to the largest remainders.
std::vector<int> Apportion(const std::vector<double> &weights, std::int64_t total, int minimum) {
  const size_t n = weights.size();
  std::vector<int> shares(n, minimum);
  const std::int64_t spare =
      total - static_cast<std::int64_t>(minimum) * static_cast<std::int64_t>(n);
  double sum = 0.0;
  for (double w : weights)
    sum += w;
  std::vector<std::pair<double, size_t>> remainders(n);
  std::int64_t given = 0;
  for (size_t i = 0; i < n; ++i) {
    const double exact = static_cast<double>(spare) * weights[i] / sum;
    const auto whole = static_cast<std::int64_t>(exact);
    shares[i] += static_cast<int>(whole);
    given += whole;
    remainders[i] = {exact - static_cast<double>(whole), i};
  }
  std::stable_sort(remainders.begin(), remainders.end(),
                   [](const auto &a, const auto &b) { return a.first > b.first; });
  for (size_t i = 0; given < spare; i = (i + 1) % n, ++given)
    ++shares[remainders[i].second];
  return shares;
}

std::uint64_t SplitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// What a section looks like before it gets its points.
struct TBranch {
  int Parent = -1;
  std::vector<int> Children;
  TVec Start;
  TVec Direction;
  double Length = 0.0;
  double StartDiameter = 0.0;
  double EndDiameter = 0.0;
  // How far the path wiggles off the straight line, and how often.
  double Wiggle = 0.0;
  double Waves = 1.0;
  TVec WiggleDirection;
};

// A random binary tree of n branches under a root: a random leaf sprouts two
// children while at least two branches are left to place, then one.
std::vector<std::vector<int>> GrowTree(int n, std::mt19937 &random) {
  std::vector<std::vector<int>> children(static_cast<size_t>(n));
  std::vector<int> leaves{0};
  for (int count = 1; count < n;) {
    const auto pick = static_cast<size_t>(Uniform(random) * static_cast<double>(leaves.size()));
    const int leaf = leaves[pick];
    const int sprouts = n - count >= 2 ? 2 : 1;
    for (int c = 0; c < sprouts; ++c)
      children[static_cast<size_t>(leaf)].push_back(count + c);
    leaves[pick] = count;
    if (sprouts == 2)
      leaves.push_back(count + 1);
    count += sprouts;
  }
  return children;
}

TVec PointAt(const TBranch &b, double s) {
  const double offset = b.Wiggle * std::sin(std::numbers::pi * b.Waves * s / b.Length);
  return b.Start + s * b.Direction + offset * b.WiggleDirection;
}

} // namespace

TSampleNeuron::TSampleNeuron(const TShape &shape) {
  constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
  if (shape.Sections < 1)
    throw std::invalid_argument("a neuron needs at least one section");
  if (shape.Sections > 2 && shape.Trunks < 1)
    throw std::invalid_argument("dendrites need at least one trunk");
  if (shape.Segments != 0 && shape.Segments < shape.Sections)
    throw std::invalid_argument("every section needs at least one segment");
  if (shape.Points != 0 && shape.Points / 2 < shape.Sections)
    throw std::invalid_argument("every section needs at least two points");
  if (shape.Segments == 0 && 12ll * shape.Sections > limit)
    throw std::invalid_argument("too many sections");
  Seed = shape.Seed;
  Build(shape);
}

int TSampleNeuron::GetPointCount() const {
  int count = 0;
  for (const TSection &section : Sections)
    count += static_cast<int>(section.Points.size());
  return count;
}

void TSampleNeuron::Build(const TShape &shape) {
  std::mt19937 random(shape.Seed);
  const int dendrites = std::max(0, shape.Sections - 2);
  Trunks = std::min(shape.Trunks, dendrites);
  std::vector<TBranch> branches;
  std::vector<std::string> names;

  TBranch soma;
  soma.Start = {-SomaLength / 2, 0, 0};
  soma.Direction = {1, 0, 0};
  soma.Length = SomaLength;
  soma.StartDiameter = soma.EndDiameter = SomaDiameter;
  soma.WiggleDirection = {0, 1, 0};
  branches.push_back(soma);
  names.push_back("soma");

  if (shape.Sections >= 2) {
    // Leaves from the soma's far side, away from the dendrites.
    TBranch axon;
    axon.Parent = 0;
    axon.Start = soma.Start;
    axon.Direction = Normalized({-0.9, -0.4, Uniform(random, -0.2, 0.2)});
    axon.Length = AxonLength;
    axon.StartDiameter = 1.5;
    axon.EndDiameter = 0.8;
    TVec q;
    Perpendiculars(axon.Direction, axon.WiggleDirection, q);
    axon.Wiggle = 0.03 * AxonLength;
    axon.Waves = 3.0;
    branches.push_back(axon);
    names.push_back("axon");
  }

  for (int trunk = 0; trunk < Trunks; ++trunk) {
    const int size = dendrites / Trunks + (trunk < dendrites % Trunks ? 1 : 0);
    const std::vector<std::vector<int>> tree = GrowTree(size, random);
    // Depth-first, so that every trunk's sections follow each other.
    struct TVisit {
      int Local;       // branch of this trunk's tree
      int Parent;      // section index of its parent
      int ParentLocal; // the parent's branch of the tree, -1 for the soma
    };
    std::vector<TVisit> stack{{0, 0, -1}};
    while (!stack.empty()) {
      const TVisit visit = stack.back();
      stack.pop_back();
      const int index = static_cast<int>(branches.size());
      TBranch b;
      b.Parent = visit.Parent;
      if (visit.ParentLocal < 0) {
        const double around =
            2.0 * std::numbers::pi * (trunk + Uniform(random, -0.2, 0.2)) / Trunks;
        b.Direction = Normalized({Uniform(random, 0.2, 0.8), std::cos(around), std::sin(around)});
        b.Start = (0.45 * SomaDiameter) * b.Direction;
        b.Length = Uniform(random, 60.0, 120.0);
        b.StartDiameter = Uniform(random, 2.0, 3.0);
      } else {
        const TBranch &up = branches[static_cast<size_t>(visit.Parent)];
        const size_t sisters = tree[static_cast<size_t>(visit.ParentLocal)].size();
        TVec p, q;
        Perpendiculars(up.Direction, p, q);
        // Sisters leave on opposite sides; a lone continuation bends a little.
        const double angle = sisters > 1 ? Uniform(random, 0.35, 0.8) : Uniform(random, 0.1, 0.3);
        const double around = Uniform(random, 0.0, 2.0 * std::numbers::pi) +
                              (up.Children.size() % 2 == 1 ? std::numbers::pi : 0.0);
        b.Direction = Normalized(std::cos(angle) * up.Direction +
                                 std::sin(angle) * (std::cos(around) * p + std::sin(around) * q));
        b.Start = PointAt(up, up.Length);
        b.Length = std::max(8.0, up.Length * Uniform(random, 0.65, 1.0));
        // Rall's rule for two daughters: d^(3/2) is conserved.
        const double share = sisters > 1 ? std::pow(0.5, 2.0 / 3.0) : 1.0;
        b.StartDiameter = std::max(0.3, up.EndDiameter * share);
      }
      b.EndDiameter = std::max(0.25, 0.85 * b.StartDiameter);
      TVec q;
      Perpendiculars(b.Direction, b.WiggleDirection, q);
      b.Wiggle = Uniform(random, 0.02, 0.08) * b.Length;
      b.Waves = Uniform(random, 1.0, 2.5);
      if (visit.ParentLocal >= 0)
        branches[static_cast<size_t>(visit.Parent)].Children.push_back(index);
      branches.push_back(b);
      names.push_back("dend[" + std::to_string(index - 2) + "]");
      const std::vector<int> &kids = tree[static_cast<size_t>(visit.Local)];
      for (auto kid = kids.rbegin(); kid != kids.rend(); ++kid)
        stack.push_back({*kid, index, visit.Local});
    }
  }

  std::vector<double> lengths;
  for (const TBranch &b : branches)
    lengths.push_back(b.Length);
  const int count = static_cast<int>(branches.size());
  const std::vector<int> segments =
      Apportion(lengths, shape.Segments != 0 ? shape.Segments : 4ll * count, 1);
  const std::vector<int> points =
      Apportion(lengths, shape.Points != 0 ? shape.Points : 12ll * count, 2);

  std::vector<double> endDistance(branches.size(), 0.0);
  std::vector<double> endDecay(branches.size(), 0.0);
  for (int i = 0; i < count; ++i) {
    const TBranch &b = branches[static_cast<size_t>(i)];
    TSection section;
    section.Name = names[static_cast<size_t>(i)];
    section.Parent = b.Parent;
    section.SegmentCount = segments[static_cast<size_t>(i)];
    const int n = points[static_cast<size_t>(i)];
    for (int j = 0; j < n; ++j) {
      const double f = static_cast<double>(j) / (n - 1);
      const TVec at = PointAt(b, f * b.Length);
      double diameter = b.StartDiameter + f * (b.EndDiameter - b.StartDiameter);
      if (i == 0) // a spheroid rather than a cylinder
        diameter = SomaDiameter * std::sqrt(std::max(0.04, 1.0 - (2 * f - 1) * (2 * f - 1)));
      section.Points.push_back({at.X, at.Y, at.Z, diameter});
    }
    section.Length = TNeuronDataWriter::PathLength(section.Points);

    // The soma spikes as a whole, the axon carries the spike unchanged, and
    // the dendrites let it fade with their electrotonic distance.
    const bool dendrite = i >= 2;
    const double startDistance =
        dendrite && b.Parent > 0 ? endDistance[static_cast<size_t>(b.Parent)] : 0.0;
    const double startDecay =
        dendrite && b.Parent > 0 ? endDecay[static_cast<size_t>(b.Parent)] : 0.0;
    const double meanDiameter = 0.5 * (b.StartDiameter + b.EndDiameter);
    const double decay = section.Length / (LengthConstant * std::sqrt(meanDiameter));
    for (int s = 0; s < section.SegmentCount; ++s) {
      const double f = (s + 0.5) / section.SegmentCount;
      const double distance = startDistance + f * section.Length;
      const double electrotonic = startDecay + f * decay;
      TSegmentResponse response{0.0, 1.0, SomaWidth};
      if (i == 1)
        response.Delay = distance / AxonVelocity;
      else if (dendrite)
        response = {distance / DendriteVelocity, std::exp(-electrotonic),
                    SomaWidth * (1.0 + 0.8 * electrotonic)};
      MaxDelay = std::max(MaxDelay, response.Delay);
      Segments.push_back(response);
    }
    endDistance[static_cast<size_t>(i)] = startDistance + section.Length;
    endDecay[static_cast<size_t>(i)] = startDecay + decay;
    Sections.push_back(std::move(section));
  }
}

double TSampleNeuron::SpikeTime(std::int64_t k) const {
  const std::uint64_t bits =
      SplitMix((static_cast<std::uint64_t>(Seed) << 32) ^ static_cast<std::uint64_t>(k));
  const double jitter = (static_cast<double>(bits >> 11) / 9007199254740992.0 * 2.0 - 1.0);
  return FirstSpike + SpikeInterval * static_cast<double>(k) + SpikeJitter * jitter;
}

void TSampleNeuron::FillFrame(double t, std::span<double> values) const {
  // Only spikes recent enough to leave a trace anywhere matter.
  const double earliest = t - SpikeMemory - MaxDelay - SpikeJitter - FirstSpike;
  const std::int64_t first =
      std::max<std::int64_t>(0, static_cast<std::int64_t>(std::floor(earliest / SpikeInterval)));
  std::vector<double> spikes;
  for (std::int64_t k = first;; ++k) {
    // Spike times grow with k: the interval is longer than the jitter allows
    // to make up.
    const double spike = SpikeTime(k);
    if (spike > t)
      break;
    if (spike > t - SpikeMemory - MaxDelay)
      spikes.push_back(spike);
  }
  const size_t n = std::min(values.size(), Segments.size());
  for (size_t i = 0; i < n; ++i) {
    const TSegmentResponse &r = Segments[i];
    double v = RestPotential;
    for (double spike : spikes) {
      const double tau = t - spike - r.Delay;
      if (tau <= 0.0 || tau > SpikeMemory)
        continue;
      // A Gaussian spike peaking at three widths, then the slow
      // after-hyperpolarisation from that peak on.
      const double fromPeak = tau - 3.0 * r.Width;
      const double peak = fromPeak / r.Width;
      double trace = SpikeHeight * std::exp(-peak * peak);
      if (fromPeak > 0.0) {
        const double ahp = fromPeak / AfterHyperpolarizationTime;
        trace -= AfterHyperpolarization * ahp * std::exp(1.0 - ahp);
      }
      v += r.Amplitude * trace;
    }
    values[i] = v;
  }
}

std::string TSampleNeuron::Describe(std::int64_t frames, double dt) const {
  char text[200];
  std::snprintf(text, sizeof text,
                "Sample neuron: soma, %saxon, %d dendrite trunks; %d sections, %d segments; "
                "V in mV over %g ms",
                Sections.size() >= 2 ? "" : "no ", Trunks, static_cast<int>(Sections.size()),
                GetSegmentCount(), static_cast<double>(frames) * dt);
  return text;
}

bool TSampleNeuron::Write(const std::string &fileName, std::int64_t frames, double dt,
                          const std::string &description, std::string &error) const {
  if (frames < 1 || !(dt > 0.0) || !std::isfinite(dt)) {
    error = "needs at least one frame and a positive time step";
    return false;
  }
  TNeuronDataWriter::THeader header;
  header.Description = description;
  header.TimeUnitFactor = 0.001;
  header.VariableUnit = "mV";
  header.VariableMin = RestPotential - AfterHyperpolarization;
  header.VariableMax = RestPotential + SpikeHeight;
  TNeuronDataWriter writer;
  if (!writer.Create(fileName, header, Sections)) {
    error = writer.GetError();
    return false;
  }
  std::vector<double> values(Segments.size());
  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  for (std::int64_t f = 0; f < frames; ++f) {
    const double t = static_cast<double>(f) * dt;
    FillFrame(t, values);
    for (double v : values) {
      low = std::min(low, v);
      high = std::max(high, v);
    }
    if (!writer.WriteFrame(t, values)) {
      error = writer.GetError();
      return false;
    }
  }
  // A flat trace would leave an empty range, which no scale can show.
  if (!(low < high))
    high = low + 1.0;
  if (!writer.PatchRange(low, high) || !writer.Close()) {
    error = writer.GetError();
    return false;
  }
  return true;
}
