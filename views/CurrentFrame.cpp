#include "views/CurrentFrame.h"

#include "data/NeuronDataFile.h"

#include <mutex>

std::optional<TCurrentFrame> FetchCurrentFrame(const TNeuronDataFile &data) {
  std::lock_guard lock(data.GetFrameLock());
  const double *frame = data.GetCurrentFrame();
  if (data.GetFileName().empty() || frame == nullptr)
    return std::nullopt;
  return TCurrentFrame{frame[0], frame + 1, data.GetCurrentColors()};
}
