#include "views/Projection3D.h"

#include <algorithm>
#include <cmath>

void FitModelView(TViewGeometry &geometry, const TModelBounds &bounds, int panelLeft, int panelTop,
                  int panelWidth, int panelHeight, int minimumMargin, double emptyExtent) {
  geometry.PanelLeft = panelLeft;
  geometry.PanelRight = panelLeft + panelWidth;
  geometry.PanelTop = panelTop;
  geometry.PanelBottom = panelTop + panelHeight;
  if (panelWidth <= 0 || panelHeight <= 0)
    return;

  double minX = bounds.MinX;
  double maxX = bounds.MaxX;
  double minY = bounds.MinY;
  double maxY = bounds.MaxY;
  if (maxX - minX == 0.0 && maxY - minY == 0.0) {
    // Nothing to fit to: a square about the point, or the views divide by zero.
    const double half = (emptyExtent > 0.0 ? emptyExtent : 1.0) / 2.0;
    minX -= half;
    maxX += half;
    minY -= half;
    maxY += half;
  }

  // The larger extent fits the smaller panel side (the view is square in model
  // units), unless that leaves less than the margin at an edge: then the scale
  // shrinks until it does not. One scale for x and y keeps the model's shape.
  const double wx = maxX - minX;
  const double wy = maxY - minY;
  double scale = std::min(panelWidth, panelHeight) / std::max(wx, wy);
  if (wx > 0.0 && panelWidth > 2 * minimumMargin)
    scale = std::min(scale, (panelWidth - 2.0 * minimumMargin) / wx);
  if (wy > 0.0 && panelHeight > 2 * minimumMargin)
    scale = std::min(scale, (panelHeight - 2.0 * minimumMargin) / wy);
  const double centreX = (minX + maxX) / 2.0;
  const double centreY = (minY + maxY) / 2.0;
  geometry.ViewLeft = centreX - panelWidth / scale / 2.0;
  geometry.ViewRight = centreX + panelWidth / scale / 2.0;
  geometry.ViewBottom = centreY - panelHeight / scale / 2.0;
  geometry.ViewTop = centreY + panelHeight / scale / 2.0;
}

TDepthRange ModelDepthRange(const TModelBounds &bounds, double scale, double reach) {
  const auto farthest = [](double low, double high) {
    return std::max(std::fabs(low), std::fabs(high));
  };
  // The corner farthest from the origin bounds every turned point.
  const double radius =
      std::hypot(farthest(bounds.MinX, bounds.MaxX), farthest(bounds.MinY, bounds.MaxY),
                 farthest(bounds.MinZ, bounds.MaxZ));
  const double depth = std::max(std::fabs(scale) * radius, std::fabs(reach));
  // Room so that a point exactly on the plane is not clipped by rounding.
  const double plane = depth * 1.01 + 1.0;
  return {-plane, plane};
}

TModelFrame ModelFrame(const TModelBounds &bounds) {
  const double largest =
      std::max({std::fabs(bounds.MinX), std::fabs(bounds.MaxX), std::fabs(bounds.MinY),
                std::fabs(bounds.MaxY), std::fabs(bounds.MinZ), std::fabs(bounds.MaxZ)});
  if (largest < TAxisMap::FloatSafe)
    return {};
  TModelFrame frame;
  frame.Relative = true;
  // Halves first: the width of a box about zero may overflow.
  frame.CentreX = bounds.MinX / 2.0 + bounds.MaxX / 2.0;
  frame.CentreY = bounds.MinY / 2.0 + bounds.MaxY / 2.0;
  frame.CentreZ = bounds.MinZ / 2.0 + bounds.MaxZ / 2.0;
  const double half =
      std::max({bounds.MaxX / 2.0 - bounds.MinX / 2.0, bounds.MaxY / 2.0 - bounds.MinY / 2.0,
                bounds.MaxZ / 2.0 - bounds.MinZ / 2.0});
  frame.Unit = PowerOfTwoUnit(half);
  return frame;
}

TViewGeometry FrameGeometry(const TViewGeometry &geometry, const TModelFrame &frame, double eyeX,
                            double eyeY) {
  TViewGeometry relative = geometry;
  relative.ViewLeft = (geometry.ViewLeft - eyeX) / frame.Unit;
  relative.ViewRight = (geometry.ViewRight - eyeX) / frame.Unit;
  relative.ViewBottom = (geometry.ViewBottom - eyeY) / frame.Unit;
  relative.ViewTop = (geometry.ViewTop - eyeY) / frame.Unit;
  return relative;
}
