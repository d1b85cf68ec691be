#pragma once

#include "render/ViewGeometry.h"

#include <functional>
#include <string>
#include <vector>

// Rounds a raw tick step to a "nice" one: a leading digit 1 or 2 stays, 3 and 4
// become 5, 5 to 9 become 10; below 1, a value that scales to 9.5 or more gives
// 15 of its decade. Rounding to the integer is half to even. A raw step that is
// not a positive finite number gives 0 (no ticks).
double NiceStep(double raw);

// The tick step of an axis whose range (maximum - minimum, sign ignored) spans
// spanPixels pixels, with roomPixels pixels needed per label: the range divided
// by the number of labels that fit, made nice. 0 when no step can be formed.
double AxisStep(double minimum, double maximum, int spanPixels, int roomPixels);

// The tick positions start + k x step (k = 0, 1, ... in either direction) that lie
// in [low, high], in increasing order. Empty when step is not positive and finite.
std::vector<double> TickPositions(double start, double step, double low, double high);

// Pixel width of a text in the labels' font.
using TTextWidth = std::function<int(const std::string &text)>;

// What the axes of a graph show and how their labels are spaced (pixels).
struct TAxesRequest {
  TDataWindow Window;
  // First tick of the horizontal axis: 0 for distances, the time minimum for time.
  double XTickStart = 0.0;
  int TickLength = 5;
  int XLabelGap = 5;
  int XLabelSpacing = 20;
  int YLabelGap = 5;
  int YLabelSpacing = 20;
};

struct TAxisLine {
  double X1, Y1, X2, Y2;
};

// A label's text and its raster position (left end of its baseline).
struct TAxisLabel {
  std::string Text;
  double X, Y;
};

// Everything the axes draw, in the geometry's drawing units; the labels'
// texts are data values.
struct TAxesLayout {
  TAxisLine XAxis{};
  TAxisLine YAxis{};
  double XStep = 0.0;
  double YStep = 0.0;
  std::vector<TAxisLine> XTicks;
  std::vector<TAxisLabel> XLabels;
  std::vector<TAxisLine> YTicks;
  std::vector<TAxisLabel> YLabels;
};

// Lays out two axes: the horizontal one at value 0 when the vertical range holds
// 0 (else at its minimum), the vertical one at 0 when the horizontal range holds
// 0 (else at its minimum); ticks up from the horizontal axis and right of the
// vertical one; "%.0f" labels under the horizontal axis, and left of the vertical
// axis "%.3f" labels when its step is below 1, else "%.0f". The width of "0"
// stands for the label height when labels are placed; textHeight (the font's line
// height) is the room a value label needs. The number of labels follows from the
// pixel extents of the geometry and the text widths.
TAxesLayout LayoutAxes(const TAxesRequest &request, const TViewGeometry &geometry,
                       const TTextWidth &textWidth, int textHeight);

// The number written as the shortest general decimal form with up to 15
// significant digits ("%.15g"): "-80", "40", "0.001".
std::string GeneralNumberText(double value);

// printf of one double with a fixed format; used for the axis labels. A "%f"
// format writes numbers of 1e17 and beyond (and non-finite ones) as "%g" does.
std::string FormatNumber(const char *format, double value);
