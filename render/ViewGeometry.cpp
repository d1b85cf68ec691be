#include "render/ViewGeometry.h"

#include <cmath>
#include <limits>

namespace {

int TruncatedPixels(double pixels) {
  // Out-of-range lengths (a view of zero size) must not turn into undefined casts.
  if (!std::isfinite(pixels) || std::fabs(pixels) > std::numeric_limits<int>::max())
    return 0;
  return static_cast<int>(pixels);
}

// One axis's map and view extents: its range in drawing units, widened by
// the margins' share of the panel.
void FitAxis(double low, double high, int before, int after, int panel, TAxisMap &map,
             double &viewLow, double &viewHigh) {
  map = TAxisMap::For(low, high);
  const double drawnLow = map(low);
  const double drawnHigh = map(high);
  const double extent = drawnHigh - drawnLow;
  viewLow = drawnLow - extent * before / panel;
  viewHigh = drawnHigh + extent * after / panel;
}

} // namespace

TViewGeometry::TViewGeometry(const TDataWindow &window)
    : ViewLeft(window.XMin - 10.0), ViewRight(window.XMax + 10.0), ViewBottom(window.YMin - 10.0),
      ViewTop(window.YMax + 10.0) {}

void TViewGeometry::Fit(const TDataWindow &window, const TMargins &margins, int panelLeft,
                        int panelTop, int panelWidth, int panelHeight) {
  PanelLeft = panelLeft;
  PanelRight = panelLeft + panelWidth;
  PanelTop = panelTop;
  PanelBottom = panelTop + panelHeight;
  if (panelWidth > 0)
    FitAxis(window.XMin, window.XMax, margins.Left, margins.Right, panelWidth, XMap, ViewLeft,
            ViewRight);
  if (panelHeight > 0)
    FitAxis(window.YMin, window.YMax, margins.Bottom, margins.Top, panelHeight, YMap, ViewBottom,
            ViewTop);
}

double TViewGeometry::XUnits(double pixels) const {
  if (PanelWidth() <= 0)
    return 0.0;
  return (ViewRight - ViewLeft) / PanelWidth() * pixels;
}

double TViewGeometry::YUnits(double pixels) const {
  if (PanelHeight() <= 0)
    return pixels * (ViewTop - ViewBottom);
  return (ViewTop - ViewBottom) / PanelHeight() * pixels;
}

int TViewGeometry::XPixels(double length) const {
  const double width = ViewRight - ViewLeft;
  if (width == 0.0)
    return 0;
  return TruncatedPixels(PanelWidth() / width * length);
}

int TViewGeometry::YPixels(double length) const {
  const double height = ViewTop - ViewBottom;
  if (height == 0.0)
    return 0;
  return TruncatedPixels(PanelHeight() / height * length);
}
