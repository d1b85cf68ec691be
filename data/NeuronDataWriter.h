#pragma once

#include "data/CStream.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

// Writes simulation data files: the header and the sections at once, then the
// frames one at a time, so that a long run never has to sit in memory. It
// refuses anything the reader would reject, so every file it finishes loads.
//
// Every operation returns false on failure and leaves the reason in GetError();
// after a failed write the file is incomplete and the writer refuses further
// frames.
class TNeuronDataWriter {
public:
  struct THeader {
    std::string Signature = "MTSD";
    double Reserved1 = 0.0;
    // One line of at most 254 characters, without line breaks.
    std::string Description;
    double Reserved2 = 1.0;
    // 1.0 or more labels times in seconds, less in milliseconds.
    double TimeUnitFactor = 0.001;
    std::string VariableUnit = "mV";
    double VariableMin = 0.0;
    double VariableMax = 0.0;
  };

  // One point of a section: coordinates and the diameter there.
  struct TPoint {
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;
    double Diameter = 0.0;
  };

  struct TSection {
    std::string Name;
    // 0-based index of an earlier section, or -1 for none. The children counts
    // of the file are derived from these.
    int Parent = -1;
    double Reserved1 = 0.0;
    double Reserved2 = 0.0;
    // Path length along the points; PathLength gives it.
    double Length = 0.0;
    int SegmentCount = 1;
    std::vector<TPoint> Points;
  };

  TNeuronDataWriter();
  // Closes the file if it is still open; errors at that point go unreported,
  // so call Close to learn them.
  ~TNeuronDataWriter();
  TNeuronDataWriter(const TNeuronDataWriter &) = delete;
  TNeuronDataWriter &operator=(const TNeuronDataWriter &) = delete;

  // Checks the header and the sections and, if they are valid, creates the file
  // (replacing an existing one) and writes them. Nothing is created when the
  // check fails; a file that cannot be written completely is closed (and
  // left incomplete). Words (signature, unit, names) must be 1 to 255 characters
  // without white space or NUL; a section needs at least one finite point, at
  // least one segment, a finite non-negative length and an earlier parent.
  // A VariableMin whose first byte would be swallowed by the reader after the
  // unit is moved down by an ulp or a few.
  bool Create(const std::string &fileName, const THeader &header,
              const std::vector<TSection> &sections);

  // Appends one frame: its time, which must be finite and later than the
  // previous frame's, and one value per segment in section order.
  bool WriteFrame(double time, std::span<const double> values);

  // Rewrites the header's variable range in place, e.g. once the last frame
  // has shown the run's extremes; both must be finite.
  bool PatchRange(double variableMin, double variableMax);

  // Flushes and closes the file; false if any of it failed to reach the disk
  // or if no frame was written (a model without frames does not load).
  bool Close();

  bool IsOpen() const { return File != nullptr; }
  const std::string &GetError() const { return Error; }
  int GetSegmentCount() const { return SegmentCount; }
  std::int64_t GetFrameCount() const { return FrameCount; }
  double GetLastFrameTime() const { return LastFrameTime; }

  // Sum of the distances between consecutive points.
  static double PathLength(const std::vector<TPoint> &points);

  // The value to store for v in a double that directly follows a word:
  // v moved toward minus infinity until its first stored byte is not white
  // space. Non-finite values are returned unchanged.
  static double AfterWord(double v);

private:
  bool Fail(const std::string &message);
  bool WriteDoubles(const double *values, size_t count);
  bool WriteText(const std::string &text);

  TFilePtr File;
  std::string Error;
  std::int64_t RangeOffset = 0;
  int SegmentCount = 0;
  std::int64_t FrameCount = 0;
  double LastFrameTime = 0.0;
  bool Broken = false;
};
