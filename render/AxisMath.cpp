#include "render/AxisMath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// Leading digits 3 and 4 go up to 5, 5 to 9 up to 10.
double RoundUpDigit(double g) {
  return g > 2.0 ? std::floor(g / 5.0) * 5.0 + 5.0 : g;
}

// Fixed notation of a number this large prints only noise digits.
constexpr double LargestFixedNumber = 1e17;

} // namespace

double NiceStep(double raw) {
  if (!std::isfinite(raw) || raw <= 0.0)
    return 0.0;
  if (raw >= 1.0) {
    // In doubles, as raw may exceed every integer type. Dividing a whole number
    // below 2^53 by 10 and flooring is exact; above it no digit but the first
    // matters. nearbyint rounds half to even in the default rounding mode.
    double g = std::nearbyint(raw);
    int e = 0;
    while (g >= 10.0) {
      g = std::floor(g / 10.0);
      ++e;
    }
    // At most 10 x 10^307: never beyond the largest double.
    return RoundUpDigit(g) * std::pow(10.0, e);
  }
  int e = 0;
  while (raw < 1.0) {
    raw *= 10.0;
    ++e;
  }
  double step = RoundUpDigit(std::nearbyint(raw));
  for (int i = 0; i < e; ++i)
    step *= 0.1;
  return step;
}

double AxisStep(double minimum, double maximum, int spanPixels, int roomPixels) {
  // A width beyond the largest double counts as the largest: fewer labels than
  // fit, rather than none.
  const double range = std::min(std::fabs(maximum - minimum), std::numeric_limits<double>::max());
  const int n = roomPixels > 0 ? spanPixels / roomPixels : 0;
  return NiceStep(n >= 1 ? range / n : range);
}

std::vector<double> TickPositions(double start, double step, double low, double high) {
  std::vector<double> ticks;
  if (!std::isfinite(step) || step <= 0.0 || !std::isfinite(start) || !std::isfinite(low) ||
      !std::isfinite(high) || low > high)
    return ticks;
  // Whole multiples from the start rather than a running sum, so that ranges far
  // from the start cost nothing to skip.
  const double first = std::ceil((low - start) / step);
  const double last = std::floor((high - start) / step);
  for (double k = first; k <= last; k += 1.0) {
    const double position = start + k * step;
    if (position >= low && position <= high)
      ticks.push_back(position);
  }
  return ticks;
}

std::string FormatNumber(const char *format, double value) {
  const size_t length = std::strlen(format);
  if (length > 0 && format[length - 1] == 'f' && !(std::fabs(value) < LargestFixedNumber))
    format = "%g";
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string GeneralNumberText(double value) {
  return FormatNumber("%.15g", value);
}

TAxesLayout LayoutAxes(const TAxesRequest &request, const TViewGeometry &geometry,
                       const TTextWidth &textWidth, int textHeight) {
  const TDataWindow &w = request.Window;
  const TAxisMap &mapX = geometry.XMap;
  const TAxisMap &mapY = geometry.YMap;
  TAxesLayout layout;
  const double y0 = mapY((w.YMin > 0.0 || w.YMax < 0.0) ? w.YMin : 0.0);
  const double x0 = mapX((w.XMin > 0.0 || w.XMax < 0.0) ? w.XMin : 0.0);
  const int h = textWidth("0");

  layout.XAxis = {mapX(w.XMin), y0, mapX(w.XMax), y0};
  const int xRoom =
      std::max(textWidth(FormatNumber("%.0f", w.XMin)), textWidth(FormatNumber("%.0f", w.XMax))) +
      request.XLabelSpacing;
  layout.XStep =
      AxisStep(w.XMin, w.XMax, geometry.XPixels(std::fabs(mapX(w.XMax) - mapX(w.XMin))), xRoom);
  const double tickHeight = geometry.YUnits(request.TickLength);
  const double xLabelBaseline = y0 - geometry.YUnits(h + request.XLabelGap);
  for (double x : TickPositions(request.XTickStart, layout.XStep, request.XTickStart, w.XMax)) {
    const double drawnX = mapX(x);
    layout.XTicks.push_back({drawnX, y0, drawnX, y0 + tickHeight});
    std::string text = FormatNumber("%.0f", x);
    const double left = drawnX - geometry.XUnits(textWidth(text)) / 2.0;
    layout.XLabels.push_back({std::move(text), left, xLabelBaseline});
  }

  layout.YAxis = {x0, mapY(w.YMin), x0, mapY(w.YMax)};
  layout.YStep = AxisStep(w.YMin, w.YMax, geometry.YPixels(std::fabs(mapY(w.YMax) - mapY(w.YMin))),
                          textHeight + request.YLabelSpacing);
  const double tickWidth = geometry.XUnits(request.TickLength);
  const char *yFormat = layout.YStep < 1.0 ? "%.3f" : "%.0f";
  for (double y : TickPositions(0.0, layout.YStep, w.YMin, w.YMax)) {
    const double drawnY = mapY(y);
    layout.YTicks.push_back({x0, drawnY, x0 + tickWidth, drawnY});
    std::string text = FormatNumber(yFormat, y);
    const double left = x0 - geometry.XUnits(textWidth(text) + request.YLabelGap);
    layout.YLabels.push_back({std::move(text), left, drawnY - geometry.YUnits(h) / 2.0});
  }
  return layout;
}
