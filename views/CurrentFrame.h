#pragma once

#include <optional>

class TNeuronDataFile;

// The frame a view draws: its time, its values (one per segment) and their
// colours. The buffers stay valid until the next frame is handed over.
struct TCurrentFrame {
  double Time = 0.0;
  const double *Values = nullptr;
  const float *Colors = nullptr;
};

// The current frame of data, fetched under its frame lock; none while no file
// is loaded or no frame has been read.
std::optional<TCurrentFrame> FetchCurrentFrame(const TNeuronDataFile &data);
