#pragma once

#include <string>
#include <vector>

// Colour maps for the palette files that come with the samples.

// The names WriteSamplePalette knows: "coolwarm" (diverging blue, grey, red:
// rest in the middle, depolarised warm), "viridis" (perceptually uniform,
// readable in grey), "hot" (black, red, yellow, white).
std::vector<std::string> SamplePaletteNames();

// Writes the named map as a palette file of count colours (2..4096), one
// "red green blue" line per colour, lowest first. Returns false with the
// reason in error for an unknown name, a bad count or a file that cannot be
// written.
bool WriteSamplePalette(const std::string &name, int count, const std::string &fileName,
                        std::string &error);
