#pragma once

#include "render/OpenGLViewThread.h"
#include "render/Rgb.h"
#include "views/Dendrogram.h"
#include "views/DendrogramPick.h"
#include "views/SelectedPointInfo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TDataToColor;
class TGlyphFont;
class TOptions;

// Item, section within the item and segment within the section of a pick,
// 1-based; 0 where nothing named was hit, all -1 when more than one point was.
using TSelectionResult = std::array<std::int32_t, 3>;

// The rendering thread of the 2D window: the palette bar, the dendrogram of
// the checked items in the current frame's colours with its connection lines,
// the 100 um scale bar and the markers of the F(t) points. It also picks the
// segment under a mouse click by OpenGL selection.
class TOpenGLThread2D : public TOpenGLViewThread {
public:
  // Created suspended, with the data window 0..640 by 0..480.
  TOpenGLThread2D(TGraphicForm &owner, int sleepPeriodMs);
  ~TOpenGLThread2D() override;

  void SetItemSpacing(double spacing) { ItemSpacing = spacing; }
  void SetLevelSpacing(double spacing) { LevelSpacing = spacing; }
  void SetGraphicLineWidth(float width) { GraphicLineWidth = width; }
  void SetConnectionLineWidth(float width) { ConnectionLineWidth = width; }
  void SetScaleLineWidth(float width) { ScaleLineWidth = width; }
  void SetSelectPointMode(std::int32_t mode) { SelectPointMode = mode; }
  std::int32_t GetSelectPointMode() const { return SelectPointMode; }
  // The palette of the data, drawn as the palette bar (not owned).
  void SetPalette(const TDataToColor *palette) { Palette = palette; }
  // The F(t) points to mark (not owned; null marks none).
  void SetSelectedPoints(const TSelectedPointList *points) { SelectedPoints = points; }
  // The palette bar's lower-left corner, in pixels from the panel's top-left.
  void SetPalettePosition(int left, int top);
  // Shows or hides the palette bar and refits the projection at once (the
  // left margin makes room for it).
  void SetShowPalette(bool show);

  // Finds the segment at panel point (x, y) in three selection passes (item,
  // section, segment) and, when all three were found, the texts of the
  // current mode. GUI thread, outside a frame drawing.
  TSelectionResult PickPoint(int x, int y, std::string &title, std::string &value);

  // The layout drawn, brought up to date with the data's check marks.
  const TDendrogram &Layout();

protected:
  TMargins ComputeMargins() const override;
  void DrawLayers() override;
  void ProjectionChanged() override;

private:
  void DrawDendrogram(const float *colors);
  void DrawScaleBar();
  void DrawMarkers();
  // Runs one selection pass in a box of size pixels at window point (x, y) of
  // viewport into buffer and gives glRenderMode's hit count. A buffer that
  // overflows is grown to room for a record per name loaded, the most the
  // pass can give, and the pass runs again.
  int SelectPass(int pass, double x, double y, double size, int *viewport,
                 std::vector<std::uint32_t> &buffer);
  // The named geometry of one selection pass; item and section are the
  // 0-based results of the passes before (pass 2 and 3). Gives the number of
  // names loaded.
  std::size_t DrawPickPass(int pass, std::int32_t item, std::int32_t section);
  void DrawConnection(const TDendrogramSection &section);
  void DrawStrip(const TDendrogramSection &section);

  TOptions &Settings;
  TRgb ScaleColor{0.0f, 0.0f, 0.0f};
  double ItemSpacing = 20.0;
  double LevelSpacing = 10.0;
  float GraphicLineWidth = 1.0f;
  float ConnectionLineWidth = 1.0f;
  const TGlyphFont &ScaleFont;
  float ScaleLineWidth = 1.0f;
  int ScaleTickLength = 5;
  double ScaleTickLengthY = 5.0;
  const TGlyphFont &PaletteFont;
  int PaletteLeft = 50;
  int PaletteTop = 100;
  bool ShowPalette = false;
  std::int32_t SelectPointMode = 0;
  const TDataToColor *Palette = nullptr;
  const TSelectedPointList *SelectedPoints = nullptr;
  TSelectionResult SelectionResult{-1, -1, -1};
  TDendrogram Dendrogram;
  // The segment lines' vertex colours of the frame drawn.
  std::vector<float> VertexColors;
};
