#pragma once

#include <cstdint>
#include <string>

// The progress line of a rendering: frames done of the total, the rate so
// far and the time left at that rate.
class TRenderProgress {
public:
  explicit TRenderProgress(std::int64_t total) : Total(total) {}

  // "frame 120 of 480, 38.2 frames/s, 0:09 left" after done frames in
  // seconds; the rate and the time left once there is one.
  std::string Line(std::int64_t done, double seconds) const;
  // Whether a log (not a terminal) gets a line now: the first frame, the
  // last, and then every interval seconds.
  bool LogDue(std::int64_t done, double seconds, double interval = 1.0);

  // "1:02:03" or "2:03"; whole seconds, rounded up.
  static std::string Duration(double seconds);

private:
  std::int64_t Total;
  double LastLogged = -1.0;
};
