#pragma once

#include "data/CStream.h"
#include "data/DataFileHeader.h"
#include "data/DataFileSectionInfo.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TDataToColor;

// Why the last Load left the model empty.
enum class TDataFileError {
  None,
  // The file could not be opened.
  CannotOpen,
  // A folder, or another thing that is no plain file.
  NotAFile,
  // A file without a byte.
  Empty,
  // The file ends, or cannot be read, inside the header or the sections.
  Truncated,
  // A word (signature, unit, section name) longer than 255 characters.
  WordTooLong,
  // A description line without its line feed within 255 characters.
  LineTooLong,
  // A count that is not finite, is negative or does not fit 32 bits.
  BadCount,
  // A count larger than the rest of the file could hold.
  CountBeyondFile,
  // A parent that is not an earlier section.
  BadParent,
  // A negative or non-finite length, or a non-finite coordinate or diameter.
  BadNumber,
  // No sections at all.
  NoSections,
  // A section with fewer than one segment.
  NoSegments,
  // A section without points.
  NoPoints,
  // The sections' segment counts do not add up to the header's.
  SegmentSum,
  // Valid sections but not one complete frame after them.
  NoFrame,
};

// One open simulation data file: the neuron's morphology in memory and the
// current frame of the variable, read from the file one frame at a time.
//
// Load reads the header and the sections, cleans and resamples each section's
// points into segments, builds the item and segment indices and reads the
// first frame; the file stays open for the frames. Two frame buffers and two
// colour buffers let the views draw the current frame while the next one is
// read; the frame lock guards the switch between them (the fill index).
//
// Frames are read only on the GUI thread. The views take GetFrameLock(), fetch
// GetCurrentFrame() and GetCurrentColors(), release the lock and draw.
class TNeuronDataFile {
public:
  TNeuronDataFile() = default;
  ~TNeuronDataFile() = default;
  TNeuronDataFile(const TNeuronDataFile &) = delete;
  TNeuronDataFile &operator=(const TNeuronDataFile &) = delete;

  // Reads the named file. Afterwards GetFileName() is non-empty exactly when
  // the file was opened and is a complete model with at least one frame; then
  // the first frame is current. A file that cannot be opened or lies outside
  // the format leaves the object empty, closed, and GetLoadError() says why;
  // nothing is read or written outside the arrays the checks have sized:
  // - every count is finite, not negative, fits 32 bits, and the rest of the
  //   file can hold what it counts (sections, segments of one frame, points,
  //   children among the later sections);
  // - a parent is an earlier section; a word has at most 255 characters and
  //   the description line at most 255 with its line feed;
  // - every section has at least one segment and one point, a finite
  //   non-negative length and finite coordinates and diameters; the
  //   sections' segments add up to the header's count;
  // - at least one complete frame follows the sections.
  // Children beyond a parent's ChildCount are not recorded; a ChildCount
  // larger than the children found shrinks to them. A trailing partial frame
  // is ignored.
  void Load(const std::string &fileName);
  // Frees the model and the buffers and resets every field to its empty
  // value. Leaves the file, the frame lock and the palette alone.
  void Clear();
  TDataFileError GetLoadError() const { return LoadError; }
  // Why the last Load left the model empty, in words for the user ("the
  // header is cut short", "no such file"); empty after a successful Load. A
  // file that fails and does not start with signature is named no data file
  // at all, which says more than where its bytes stopped making sense.
  std::string DescribeLoadError(const std::string &signature) const;

  // Attaches the palette that colours every frame read (not owned; null
  // detaches). Call RecolorCurrentFrame to colour the current frame.
  void SetPalette(const TDataToColor *palette) { Palette = palette; }

  // Getters give their empty values while nothing is loaded.
  const std::string &GetFileName() const { return FileName; }
  const TDataFileHeader &GetHeader() const { return Header; }
  const std::vector<TDataFileSectionInfo> &GetSections() const { return Sections; }
  const std::string &GetVariableUnit() const { return Header.VariableUnit; }
  double GetVariableMin() const { return Header.VariableMin; }
  double GetVariableMax() const { return Header.VariableMax; }
  // "s" for a time unit factor of 1.0 or more, otherwise "ms"; empty while
  // nothing is loaded.
  std::string GetTimeUnit() const;
  double GetFirstFrameTime() const { return FirstFrameTime; }
  double GetLastFrameTime() const { return LastFrameTime; }
  std::int64_t GetFrameCount() const { return FrameCount; }
  // The largest end distance (start distance + length) of the leaf and root
  // sections of the checked items, at least 0, rounded half to even.
  double GetMaxDistance() const;

  std::int32_t GetItemCount() const { return ItemCount; }
  // ItemCount + 1 entries: item i owns sections [first[i], first[i + 1]).
  const std::vector<std::int32_t> &GetItemFirstSection() const { return ItemFirstSection; }
  // One flag per item, 1 = shown; written by the Control Window and read by
  // the drawing threads without the frame lock.
  std::atomic<std::uint8_t> *GetItemChecked() { return ItemChecked.get(); }
  const std::atomic<std::uint8_t> *GetItemChecked() const { return ItemChecked.get(); }
  // SectionCount + 1 entries: segment s of section i has the global index
  // first[i] + s; the last entry is the total.
  const std::vector<std::int32_t> &GetSectionFirstSegment() const { return SectionFirstSegment; }

  // Bounds of every coordinate read, dropped points included.
  double GetMinX() const { return MinX; }
  double GetMaxX() const { return MaxX; }
  double GetMinY() const { return MinY; }
  double GetMaxY() const { return MaxY; }
  double GetMinZ() const { return MinZ; }
  double GetMaxZ() const { return MaxZ; }

  std::mutex &GetFrameLock() const { return FrameLock; }
  // The current frame: its time, then one value per global segment. Call
  // with the frame lock held; null while nothing is loaded.
  const double *GetCurrentFrame() const { return FrameBuffers[1 - FillIndex].data(); }
  // Red, green, blue per global segment for the current frame (zero until a
  // palette colours it). Call with the frame lock held.
  const float *GetCurrentColors() const { return ColorBuffers[1 - FillIndex].data(); }

  // Frame operations, GUI thread only. Each returns the time of the frame
  // that is current afterwards, or -1.0 (nothing changed) while nothing is
  // loaded or when the file can no longer be read there.

  // The time of the frame nearest to t, ties to the earlier frame; the current
  // frame stays. The first search inside the time range reads every frame's
  // time once and keeps them (8 bytes per frame).
  double FindNearestFrameTime(double t);
  // Makes the frame nearest to t current.
  double SeekFrame(double t);
  // How many frames have a time from first to last inclusive (all of them
  // once the times are read); -1 while nothing is loaded or when the file can
  // no longer be read.
  std::int64_t CountFramesBetween(double first, double last);
  // Advances by skip + 1 frames (a negative skip counts as 0), stopping at
  // the last frame; -1.0 if the current time is already the last or later.
  double StepForward(int skip);
  // Goes back by skip + 1 frames, stopping at the first frame; -1.0 if the
  // current time is already the first or earlier.
  double StepBack(int skip);
  // Colours the current frame anew with the palette (after the palette or
  // its range changed); nothing without a palette or a model.
  void RecolorCurrentFrame();

  // Called on the GUI thread after every change of the current frame or of
  // its colours, so that a view can wake up instead of polling. Registering
  // and removing are GUI-thread work too; a listener must not register or
  // remove listeners. Returns the handle that removes it.
  int AddFrameListener(std::function<void()> listener) const;
  void RemoveFrameListener(int handle) const;

private:
  class TReader;

  void ReadModel();
  void ReadSection(TReader &in, std::int32_t k, std::int64_t &segmentSum);
  void BuildIndices();
  void ReadFrameGeometry(std::int64_t framesStart, std::int64_t fileLength);
  bool ReadFrameTime(std::int64_t index, double &time);
  // Reads frame index into the fill buffers and makes it current; false (the
  // current frame stays) if the file cannot be read there.
  bool ReadFrame(std::int64_t index);
  // Colours the fill frame with the palette, if any, and makes it current.
  void ShowFillBuffers();
  // Reads every frame's time into FrameTimes once; false if the file can no
  // longer be read there or its end times changed since Load. A binary search
  // of the file would read fewer, but one time out of order anywhere before
  // the answer changes the scan's answer, and only all times show that.
  bool LoadFrameTimes();
  bool NearestFrame(double t, std::int64_t &index, double &time);
  double CurrentTime() const { return FrameBuffers[1 - FillIndex][0]; }

  std::string FileName;
  TFilePtr DataFile;
  const TDataToColor *Palette = nullptr;
  TDataFileError LoadError = TDataFileError::None;
  // Where the last Load failed: the errno of the open, the section being read
  // (-1 in the header, -2 after the sections) and the first word of the file.
  int LoadErrno = 0;
  std::int32_t LoadSection = -1;
  std::string LoadSignature;

  TDataFileHeader Header;
  std::vector<TDataFileSectionInfo> Sections;
  std::int32_t ItemCount = 0;
  std::vector<std::int32_t> ItemFirstSection;
  std::unique_ptr<std::atomic<std::uint8_t>[]> ItemChecked;
  std::vector<std::int32_t> SectionFirstSegment;
  double MinX = 0.0, MaxX = 0.0, MinY = 0.0, MaxY = 0.0, MinZ = 0.0, MaxZ = 0.0;

  double FirstFrameTime = 0.0;
  double LastFrameTime = 0.0;
  std::int64_t FramesStart = 0;
  std::int64_t LastFrameOffset = 0;
  std::int64_t FrameSize = 0;
  std::int64_t FrameCount = 0;
  std::int64_t CurrentFrameIndex = 0;
  // Times of all frames, filled by the first search that needs them.
  std::vector<double> FrameTimes;
  bool FrameTimesSorted = false;

  mutable std::mutex FrameLock;
  mutable std::vector<std::pair<int, std::function<void()>>> FrameListeners;
  mutable int NextFrameListener = 0;
  int FillIndex = 0;
  std::array<std::vector<double>, 2> FrameBuffers;
  std::array<std::vector<float>, 2> ColorBuffers;
};
