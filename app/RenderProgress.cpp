#include "app/RenderProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string TRenderProgress::Duration(double seconds) {
  const auto whole = static_cast<long long>(std::ceil(std::max(seconds, 0.0)));
  char text[48];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                  whole % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

std::string TRenderProgress::Line(std::int64_t done, double seconds) const {
  std::string line = "frame " + std::to_string(done) + " of " + std::to_string(Total);
  if (done > 0 && seconds > 0.0) {
    const double rate = static_cast<double>(done) / seconds;
    char text[64];
    std::snprintf(text, sizeof text, ", %.1f frames/s", rate);
    line += text;
    line += ", " + Duration(static_cast<double>(Total - done) / rate) + " left";
  }
  return line;
}

bool TRenderProgress::LogDue(std::int64_t done, double seconds, double interval) {
  if (done > 1 && done < Total && seconds - LastLogged < interval)
    return false;
  LastLogged = seconds;
  return true;
}
