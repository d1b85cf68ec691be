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
  const double width = window.XMax - window.XMin;
  if (panelWidth > 0) {
    ViewLeft = window.XMin - width * margins.Left / panelWidth;
    ViewRight = window.XMax + width * margins.Right / panelWidth;
  }
  const double height = window.YMax - window.YMin;
  if (panelHeight > 0) {
    ViewBottom = window.YMin - height * margins.Bottom / panelHeight;
    ViewTop = window.YMax + height * margins.Top / panelHeight;
  }
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
