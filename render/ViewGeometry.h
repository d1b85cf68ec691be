#pragma once

#include "render/AxisMap.h"

// The region of data coordinates that a view must show.
struct TDataWindow {
  double XMin = 0.0;
  double XMax = 100.0;
  double YMin = 0.0;
  double YMax = 100.0;
};

// Room around the data window, in pixels.
struct TMargins {
  int Left = 30;
  int Right = 30;
  int Bottom = 30;
  int Top = 30;
};

// The orthographic view extents of a view and the pixel extents of its panel,
// and the conversions between pixels and drawing units that follow from them.
// Drawing units are the data coordinates mapped by XMap and YMap: the data
// themselves unless a range reaches beyond what a float holds.
class TViewGeometry {
public:
  // View extents = the data window widened by 10 on each side; panel 640 x 480.
  explicit TViewGeometry(const TDataWindow &window = {});

  // Sets the panel extents, maps the data window to drawing units and widens
  // it by the margins so that the margins come out as the given pixel counts.
  // A panel width of 0 or less keeps the horizontal view extents and map, a
  // height of 0 or less the vertical ones (there is nothing to fit them to).
  void Fit(const TDataWindow &window, const TMargins &margins, int panelLeft, int panelTop,
           int panelWidth, int panelHeight);

  // Drawing units of n pixels. A panel width of 0 or less gives 0 horizontally; a
  // height of 0 or less gives n x the view height.
  double XUnits(double pixels) const;
  double YUnits(double pixels) const;
  // Pixels of a length in drawing units, truncated toward zero; 0 when the view has
  // no width (or height).
  int XPixels(double length) const;
  int YPixels(double length) const;

  int PanelWidth() const { return PanelRight - PanelLeft; }
  int PanelHeight() const { return PanelBottom - PanelTop; }

  double ViewLeft;
  double ViewRight;
  double ViewBottom;
  double ViewTop;
  int PanelLeft = 0;
  int PanelRight = 640;
  int PanelTop = 0;
  int PanelBottom = 480;
  // How data coordinates become drawing units; the identity until Fit.
  TAxisMap XMap;
  TAxisMap YMap;
};
