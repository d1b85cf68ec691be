#pragma once

class TDataToColor;
class TGlyphFont;
class TViewGeometry;

// Draws the palette as a column of boxes from the pixel (left, top) of the
// view's top left corner upwards, each box 15 pixels wide and a text line of
// font high, labelled on its right in black with its value as "%.3f".
void DrawPaletteBar(const TDataToColor &palette, const TViewGeometry &geometry,
                    const TGlyphFont &font, int left, int top);
